// SPDX-License-Identifier: GPL-3.0-or-later
// ToMessages, the program's message service (window layer): the question,
// note, warning and error dialogs, each shown modally and freed before the
// call returns.
//
// Every text is Windows-1252 bytes in std::string (as the core and the
// storage layer hand them over); an empty string counts as not given. Call
// on the user-interface thread only; each call blocks until the dialog
// closes.
#pragma once

#include <string>

namespace qorvex {

class TToMessages {
 public:
  // Kept for the program family; nothing in this program reads them.
  std::string IncompleteInput = "Eingabedaten unvollst\xE4ndig!";
  std::string InvalidData = "Ung\xFCltige Daten!";

  // Tjaneinfrage: true when it closed with "Ja" (6). defaultYes chooses the
  // default button ("Ja" or, with the focus, "Nein").
  bool Frage(const std::string& caption, const std::string& heading, const std::string& text,
             bool defaultYes) const;
  // Thinweis: whether "Meldung nicht mehr anzeigen" was ticked.
  bool Hinweis(const std::string& caption, const std::string& heading, const std::string& text,
               bool showCheckBox) const;
  // Tachtung; the heading replaces "Achtung:".
  void Achtung(const std::string& heading, const std::string& text) const;
  // Tfehler, always captioned "Fehler" and "Fehlermeldung:".
  void Fehler(const std::string& text) const;
};

inline const TToMessages ToMessages;

}  // namespace qorvex
