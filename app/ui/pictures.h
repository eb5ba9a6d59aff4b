// SPDX-License-Identifier: GPL-3.0-or-later
// The window layer's embedded pictures (button glyphs, dialog pictures),
// drawn by pictures/makepictures.cpp and committed as PNG files.
#pragma once

#include <QPixmap>
#include <QString>

namespace qorvex {

// The picture at "name" below the pictures folder, without ".png" (e.g.
// "glyphs/VXBBYES"). On a screen with a device pixel ratio above 1 the
// "@2x" variant is taken when there is one; its logical size is the same.
// A null pixmap when there is no such picture.
QPixmap LoadPicture(const QString& name);

}  // namespace qorvex
