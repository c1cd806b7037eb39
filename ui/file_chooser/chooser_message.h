#pragma once

#include <QString>
#include <QWidget>
#include <functional>

namespace quarnel {

// Shows one message of the chooser: a modal box over `parent` with an
// exclamation icon, a single OK button and the program's title "Quarnel".
void show_chooser_message(QWidget* parent, const QString& text);

using ChooserMessageHandler = std::function<void(QWidget* parent, const QString& text)>;

// Replaces how chooser messages are shown, so that tests can capture them; an
// empty handler brings the message box back. Returns the handler it replaced.
ChooserMessageHandler set_chooser_message_handler(ChooserMessageHandler handler);

}  // namespace quarnel
