#pragma once

#include <QIcon>

// "APPICON", the window's 16 x 16 icon: a small map of coloured cells, drawn here in the
// map's own colours rather than loaded from a file.
QIcon LoadAppIcon();
