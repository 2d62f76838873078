#pragma once
// Small flag pictures of the language choice, drawn rather than loaded from files.
#include <QPixmap>

namespace tolv {

QPixmap germanFlag(int width, int height);
QPixmap englishFlag(int width, int height);

}  // namespace tolv
