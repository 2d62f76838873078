#pragma once
// The whole device protocol in one include.
#include "device/wire/wirebytes.h"
#include "device/wire/wirecommands.h"
#include "device/wire/wiremeasure.h"
#include "device/wire/wiresettings.h"
