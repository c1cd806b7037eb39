#include "chooser_message.h"

#include <QMessageBox>
#include <utility>

namespace quarnel {

namespace {

ChooserMessageHandler& message_handler() {
    static ChooserMessageHandler handler;
    return handler;
}

}  // namespace

void show_chooser_message(QWidget* parent, const QString& text) {
    if (const ChooserMessageHandler& handler = message_handler()) {
        handler(parent, text);
        return;
    }
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Quarnel"), text, QMessageBox::Ok, parent);
    box.exec();
}

ChooserMessageHandler set_chooser_message_handler(ChooserMessageHandler handler) {
    return std::exchange(message_handler(), std::move(handler));
}

}  // namespace quarnel
