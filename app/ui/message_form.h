// SPDX-License-Identifier: GPL-3.0-or-later
// The common design of the four message dialogs (window layer): a picture,
// a bold heading and the message on Panel1, the buttons on Panel2 at the
// bottom below a bevel line. The form sizes itself to its message
// (dialoglayout.h) and each form places its own buttons.
//
// Keys: Enter and Escape belong to the buttons (their Default and Cancel);
// the dialog itself does nothing with them. Closing by the title bar gives
// result 2 (cancel).
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace qorvex {

class TvxMessageForm : public QDialog {
  Q_OBJECT

 public:
  // The children, named as in the form's design.
  QWidget* Panel1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label1 = nullptr;  // heading
  QLabel* Label2 = nullptr;  // message
  QWidget* Panel2 = nullptr;
  QWidget* Bevel1 = nullptr;

  // An empty caption or heading keeps the form's own.
  void SetCaption(const QString& caption);
  void SetHeading(const QString& heading);
  // The message: a carriage return (with or without a line feed after it)
  // or a line feed starts a new line.
  void SetMessage(const QString& text);
  // Sizes the form to its message and places the buttons (done by Execute;
  // public for showing a form without its modal loop).
  void ApplyLayout();
  // Sizes the form, shows it modally and gives the result it closed with.
  int Execute();

  void reject() override;

 protected:
  TvxMessageForm(const QString& caption, const QString& heading, const QString& picture);
  // Places the form's buttons in Panel2, whose width is given.
  virtual void PlaceButtons(int panelWidth) = 0;
  // A wider minimum for a control beside the buttons (0: none).
  virtual int MinClientWidth() const { return 0; }
  void keyPressEvent(QKeyEvent* e) override;

 private:
  int lineBreaks_ = 0;
};

}  // namespace qorvex
