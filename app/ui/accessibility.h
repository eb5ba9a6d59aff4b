// SPDX-License-Identifier: GPL-3.0-or-later
// What a screen reader sees of the window's own controls (window layer):
// the painted entry view as a read-only document with a text interface (the
// entry as shown, line by line), each link, Morse and tone word a child with
// its role, a name that says what it does and a press action that clicks
// it; the command button named by its caption; pictures marked as
// decoration hidden from the reader.
#pragma once

#include <QString>

class QWidget;

namespace qorvex {

class TEntryView;

// Installs the accessibility factory (once per program).
void InstallAccessibility();

// Tells the reader that the view shows a new entry (name and text changed).
void NotifyNewText(TEntryView* view);
// Tells the reader which word has the keyboard focus.
void NotifyFocusedLabel(TEntryView* view);

// A command button's caption as a reader says it: "&" marks dropped ("&&"
// stays "&"), "|" line breaks read as blanks.
QString AccessibleCaption(QString caption);

// Marks a picture that carries no information: the reader skips it.
void MarkAsDecoration(QWidget* picture);

}  // namespace qorvex
