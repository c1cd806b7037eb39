#include <QApplication>

#include "ui/main_window/form1.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quarnel::Form1 form;
    form.show();
    return app.exec();
}
