// SPDX-License-Identifier: GPL-3.0-or-later
// The message service; see message_dialogs.h.
#include "app/ui/message_dialogs.h"

#include <QCheckBox>

#include "app/ui/error_dialog.h"
#include "app/ui/notice_dialog.h"
#include "app/ui/question_dialog.h"
#include "app/ui/warning_dialog.h"
#include "support/cp1252.h"

namespace qorvex {
namespace {

constexpr int kYesResult = 6;

QString FromCp1252(const std::string& text) {
  return QString::fromStdString(Cp1252ToUtf8(text));
}

}  // namespace

bool TToMessages::Frage(const std::string& caption, const std::string& heading,
                        const std::string& text, bool defaultYes) const {
  Tjaneinfrage form;
  form.SetCaption(FromCp1252(caption));
  form.SetHeading(FromCp1252(heading));
  form.SetMessage(FromCp1252(text));
  form.SetDefaultYes(defaultYes);
  return form.Execute() == kYesResult;
}

bool TToMessages::Hinweis(const std::string& caption, const std::string& heading,
                          const std::string& text, bool showCheckBox) const {
  Thinweis form;
  form.ShowCheckBox(showCheckBox);
  form.SetCaption(FromCp1252(caption));
  form.SetHeading(FromCp1252(heading));
  form.SetMessage(FromCp1252(text));
  form.Execute();
  return form.ccheck->isChecked();
}

void TToMessages::Achtung(const std::string& heading, const std::string& text) const {
  Tachtung form;
  form.SetHeading(FromCp1252(heading));
  form.SetMessage(FromCp1252(text));
  form.Execute();
}

void TToMessages::Fehler(const std::string& text) const {
  Tfehler form;
  form.SetMessage(FromCp1252(text));
  form.Execute();
}

}  // namespace qorvex
