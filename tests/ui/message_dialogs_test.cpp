// SPDX-License-Identifier: GPL-3.0-or-later
// The message dialogs as the program meets them: answers, keys, captions,
// and the storage layer's questions and errors routed to them.
#include "app/ui/message_dialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include "app/ui/command_button.h"
#include "app/ui/error_dialog.h"
#include "app/ui/messagehandlers.h"
#include "app/ui/notice_dialog.h"
#include "app/ui/question_dialog.h"
#include "app/ui/warning_dialog.h"
#include "diag/storage_startup.h"
#include "isam/errors.h"
#include "tests/ui/uitest.h"

namespace qorvex {
namespace {

using testing::AnswerNextDialog;
using testing::Type;

const std::string kShort = "Kein Thema ausgew\xE4hlt.";  // Windows-1252

TEST(Messages, FrageAnswers) {
  // What, Ja the default or not, the answer given, the form's result.
  const std::tuple<const char*, bool, std::function<void(Tjaneinfrage&)>, int> cases[] = {
      {"Enter, Ja default", true, [](Tjaneinfrage& f) { Type(f, Qt::Key_Return); }, 6},
      {"Enter, Nein default", false, [](Tjaneinfrage& f) { Type(f, Qt::Key_Return); }, 7},
      {"Enter reaching the form, Nein default", false,
       [](Tjaneinfrage& f) { QTest::keyClick(&f, Qt::Key_Enter); }, 7},
      {"Escape", true, [](Tjaneinfrage& f) { Type(f, Qt::Key_Escape); }, 7},
      {"title bar", true, [](Tjaneinfrage& f) { f.close(); }, 2},
      {"click on Ja", false,
       [](Tjaneinfrage& f) { QTest::mouseClick(f.vxBitBtn1, Qt::LeftButton); }, 6},
      {"Space on the focused Ja", true, [](Tjaneinfrage& f) { Type(f, Qt::Key_Space); }, 6},
      {"access key N", true,
       [](Tjaneinfrage& f) {
         QApplication::setActiveWindow(&f);
         QTest::keyClick(&f, Qt::Key_N, Qt::AltModifier);
       },
       7},
  };
  for (const auto& [what, defaultYes, answer, want] : cases) {
    int result = -1;
    bool noFocused = false, noDefault = false, yesDefault = false;
    AnswerNextDialog([&](TvxMessageForm& form) {
      auto& frage = dynamic_cast<Tjaneinfrage&>(form);
      noFocused = frage.focusWidget() == frage.vxBitBtn2;
      noDefault = frage.vxBitBtn2->Default();
      yesDefault = frage.vxBitBtn1->Default();
      answer(frage);
      result = frage.result();
    });
    const bool yes = ToMessages.Frage("", "", kShort, defaultYes);
    EXPECT_EQ(result, want) << what;
    EXPECT_EQ(yes, want == 6) << what;
    EXPECT_EQ(noFocused, !defaultYes) << what;
    EXPECT_EQ(noDefault, !defaultYes) << what;
    EXPECT_EQ(yesDefault, defaultYes) << what;
  }
}

TEST(Messages, CaptionsHeadingsAndText) {
  AnswerNextDialog([](TvxMessageForm& form) {
    EXPECT_EQ(form.windowTitle(), "Abfrage");
    EXPECT_EQ(form.Label1->text(), "Abfrage:");
    EXPECT_EQ(form.Label2->text(), QString::fromUtf8("Kein Thema ausgewählt."));
    form.close();
  });
  ToMessages.Frage("", "", kShort, true);
  AnswerNextDialog([](TvxMessageForm& form) {
    EXPECT_EQ(form.windowTitle(), QString::fromUtf8("Bestätigung"));
    EXPECT_EQ(form.Label1->text(), "QORVEX");
    form.close();
  });
  ToMessages.Frage("Best\xE4tigung", "QORVEX", kShort, true);

  // Achtung: an empty heading keeps "Achtung:"; Escape does nothing, as
  // there is no cancel button; "&Weiter" closes with 11.
  for (const std::string heading : {"", "QORVEX"}) {
    AnswerNextDialog([&heading](TvxMessageForm& form) {
      EXPECT_EQ(form.windowTitle(), "Achtung");
      EXPECT_EQ(form.Label1->text(), heading.empty() ? "Achtung:" : "QORVEX");
      EXPECT_EQ(form.size(), QSize(320, 143));
      Type(form, Qt::Key_Escape);
      EXPECT_TRUE(form.isVisible()) << "Escape closed the warning";
      QTest::mouseClick(dynamic_cast<Tachtung&>(form).vxBitBtn1, Qt::LeftButton);
      EXPECT_EQ(form.result(), 11);
    });
    ToMessages.Achtung(heading, kShort);
  }

  // Fehler: fixed caption and heading; Escape is "&Abbrechen", result 2.
  AnswerNextDialog([](TvxMessageForm& form) {
    EXPECT_EQ(form.windowTitle(), "Fehler");
    EXPECT_EQ(form.Label1->text(), "Fehlermeldung:");
    EXPECT_EQ(dynamic_cast<Tfehler&>(form).vxBitBtn1->text(), "&Abbrechen");
    Type(form, Qt::Key_Escape);
    EXPECT_EQ(form.result(), 2);
  });
  ToMessages.Fehler(kShort);
}

TEST(Messages, HinweisReportsTheCheckBox) {
  for (const bool show : {false, true}) {
    AnswerNextDialog([show](TvxMessageForm& form) {
      auto& hinweis = dynamic_cast<Thinweis&>(form);
      EXPECT_EQ(hinweis.ccheck->isVisible(), show);
      EXPECT_EQ(hinweis.ccheck->text(), "Meldung nicht mehr anzeigen");
      if (show) QTest::mouseClick(hinweis.ccheck, Qt::LeftButton);
      Type(form, Qt::Key_Escape);  // no cancel button
      EXPECT_TRUE(form.isVisible());
      QTest::mouseClick(hinweis.vxBitBtn1, Qt::LeftButton);  // "&Schließen"
      EXPECT_EQ(form.result(), 2);
    });
    EXPECT_EQ(ToMessages.Hinweis("", "", kShort, show), show);
  }
}

TEST(Messages, StorageQuestionsAndErrorsReachTheDialogs) {
  InstallMessageHandlers();
  QString asked;
  bool yesDefault = false;
  AnswerNextDialog([&](TvxMessageForm& form) {
    asked = form.Label2->text();
    yesDefault = dynamic_cast<Tjaneinfrage&>(form).vxBitBtn1->Default();
    EXPECT_EQ(form.windowTitle(), "Abfrage");
    EXPECT_EQ(form.Label1->text(), "Abfrage:");
    Type(form, Qt::Key_Return);
  });
  EXPECT_TRUE(AskRetry("QDLex", 1));
  EXPECT_EQ(asked, "QDLex:  Record oder Datei gelockt. Noch einmal versuchen? ");
  EXPECT_TRUE(yesDefault);
  AnswerNextDialog([](TvxMessageForm& form) { form.close(); });
  EXPECT_FALSE(AskRetry("QDLex", 4));

  // A database error inside an event handler is shown, with its cause in
  // words, and stops there.
  QString shown;
  AnswerNextDialog([&shown](TvxMessageForm& form) {
    EXPECT_EQ(form.windowTitle(), "Fehler");
    shown = form.Label2->text();
    Type(form, Qt::Key_Return);  // the focused "&Abbrechen"
  });
  bool after = false;
  EXPECT_FALSE(RunGuarded([&after] {
    throw EDBError(4, kErrHeaderTooManyIndexes, "QDLex");
    after = true;
  }));
  EXPECT_FALSE(after);
  EXPECT_EQ(shown,
            "Datenbankfehler 4(10060) QDLEX\nDer Kopf der Datendatei ist beschädigt (zu "
            "viele Indizes).");
  EXPECT_TRUE(RunGuarded([] {}));
  SetQuestionHandler(nullptr);
  SetErrorMessageHandler(nullptr);
}

}  // namespace
}  // namespace qorvex
