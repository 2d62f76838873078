#pragma once
// The whole device protocol in one include.
#include "wire/wirebytes.h"
#include "wire/wirecommands.h"
#include "wire/wiremeasure.h"
#include "wire/wiresettings.h"
