#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>
#include <QtTest>

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "ui/file_chooser/chooser_message.h"
#include "ui/file_chooser/drive_list.h"
#include "ui/file_chooser/file_chooser_dialog.h"
#include "ui/file_chooser/file_paths.h"
#include "ui/file_chooser/frm_open_save.h"

using quarnel::FrmOpenSave;

namespace {

QString system_error(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QStringList texts_of(const QListWidget* list) {
    QStringList texts;
    for (int row = 0; row < list->count(); ++row) texts << list->item(row)->text();
    return texts;
}

// A double-click as the window system delivers it: a click, then the second press.
void double_click(QListWidget* list, const QListWidgetItem* item) {
    const QPoint centre = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

void make_file(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

}  // namespace

class FileChooserTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void opens_in_current_folder_with_pattern_selected_and_ok_disabled();
    void tab_order_runs_from_file_list_to_cancel();
    void ok_is_enabled_by_the_first_change_and_stays_enabled();
    void typed_new_name_is_joined_to_the_folder_data();
    void typed_new_name_is_joined_to_the_folder();
    void new_name_in_the_root_folder_has_one_separator();
    void typed_pattern_changes_the_list_and_keeps_the_dialog_open_data();
    void typed_pattern_changes_the_list_and_keeps_the_dialog_open();
    void typed_folder_moves_the_lists_and_puts_the_pattern_back_data();
    void typed_folder_moves_the_lists_and_puts_the_pattern_back();
    void clicking_a_file_names_it_and_double_click_accepts_it();
    void enter_opens_a_folder_in_the_folder_list_and_confirms_in_the_name_box();
    void typed_name_of_a_listed_file_accepts_it();
    void existing_unlisted_file_is_not_taken();
    void invalid_names_show_the_platform_description_data();
    void invalid_names_show_the_platform_description();
    void message_box_has_exclamation_icon_ok_and_program_title();
    void ok_with_an_empty_box_does_nothing();
    void folder_that_vanished_is_reported_and_the_lists_stay();
    void folder_without_permission_is_reported_and_the_lists_stay();
    void cancel_returns_nothing_and_next_opening_starts_in_last_folder();
    void vanished_current_folder_opens_the_nearest_folder_left();
    void double_click_in_the_shown_chooser_returns_the_path();
    void thousands_of_files_are_listed_in_name_order();
    void each_drive_keeps_its_own_folder_and_a_broken_drive_is_refused();
    void mounted_drives_start_at_the_root_and_leave_out_system_mounts();

  private:
    std::unique_ptr<FrmOpenSave> open_dialog();
    static void type_name(FrmOpenSave& dialog, const QString& text);
    static void click_ok(FrmOpenSave& dialog);
    template <class T>
    static T* control(QWidget& dialog, const char* name);
    QString in_root(const QString& relative) const { return m_root + u'/' + relative; }

    QString m_start_folder;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_root;
    QStringList m_messages;
};

void FileChooserTest::initTestCase() {
    QLocale::setDefault(QLocale::c());
    m_start_folder = QDir::currentPath();
    quarnel::set_chooser_message_handler(
        [this](QWidget*, const QString& text) { m_messages << text; });
}

void FileChooserTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_root = QFileInfo(m_dir->path()).canonicalFilePath();
    for (const char* folder : {"sub", "sub/deeper", "データ", "vol/inner", "locked"}) {
        QVERIFY(QDir(m_root).mkpath(QString::fromUtf8(folder)));
    }
    for (const char* file : {"b.p-d", "a.p-d", "結果.p-d", "notes.txt", "other.dat", "UPPER.P-D",
                             "sub/c.p-d", "sub/c.txt", "データ/d.p-d"}) {
        make_file(in_root(QString::fromUtf8(file)));
    }
    QVERIFY(QDir::setCurrent(m_root));
    m_messages.clear();
    quarnel::DriveList::forget_folders();
}

void FileChooserTest::cleanup() {
    QFile::setPermissions(in_root(QStringLiteral("locked")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    quarnel::DriveList::set_roots_override(std::nullopt);
    QDir::setCurrent(m_start_folder);
    m_dir.reset();
}

std::unique_ptr<FrmOpenSave> FileChooserTest::open_dialog() {
    auto dialog = std::make_unique<FrmOpenSave>();
    dialog->setWindowTitle(QStringLiteral("Data File Name"));
    dialog->reset_name_box();
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get())) return nullptr;
    return dialog;
}

template <class T>
T* FileChooserTest::control(QWidget& dialog, const char* name) {
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

// Replaces the whole box text the way a person does: select all, then type.
// Japanese text arrives as an input method delivers it: one committed string.
void FileChooserTest::type_name(FrmOpenSave& dialog, const QString& text) {
    auto* box = control<QLineEdit>(dialog, "txtOpenSave");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() >= 0x20 && c.unicode() < 0x7f;
    });
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
    } else if (ascii) {
        QTest::keyClicks(box, text);
    } else {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QApplication::sendEvent(box, &commit);
    }
}

void FileChooserTest::click_ok(FrmOpenSave& dialog) {
    QTest::mouseClick(control<QPushButton>(dialog, "cmdOpenSave0"), Qt::LeftButton);
}

void FileChooserTest::opens_in_current_folder_with_pattern_selected_and_ok_disabled() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    const auto* box = control<QLineEdit>(*dialog, "txtOpenSave");
    QCOMPARE(box->text(), QStringLiteral("*.p-d"));
    QCOMPARE(box->selectedText(), QStringLiteral("*.p-d"));
    QVERIFY(!control<QPushButton>(*dialog, "cmdOpenSave0")->isEnabled());
    QVERIFY(control<QPushButton>(*dialog, "cmdOpenSave0")->isDefault());
    QCOMPARE(texts_of(control<QListWidget>(*dialog, "filOpenSave")),
             (QStringList{"a.p-d", "b.p-d", "結果.p-d"}));
    const auto* folders = control<QListWidget>(*dialog, "dirOpenSave");
    QCOMPARE(folders->currentItem()->text(), QFileInfo(m_root).fileName());
    const QStringList folder_texts = texts_of(folders);
    QCOMPARE(folder_texts.mid(folder_texts.size() - 4),
             (QStringList{"locked", "sub", "vol", "データ"}));
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), m_root);
    QCOMPARE(control<QComboBox>(*dialog, "drvOpenSave")->currentText(), QStringLiteral("/"));
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(*dialog, "filOpenSave"));
    QVERIFY(m_messages.isEmpty());
}

void FileChooserTest::tab_order_runs_from_file_list_to_cancel() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    QStringList visited;
    for (int step = 0; step < 5; ++step) {
        visited << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    // OK is disabled at opening, so Tab passes over it.
    QCOMPARE(visited, (QStringList{"filOpenSave", "dirOpenSave", "txtOpenSave", "drvOpenSave",
                                   "cmdOpenSave1"}));

    // Tab wraps round to the file list; reaching the name box by Tab leaves the pattern selected:
    // typing replaces it.
    QCOMPARE(QApplication::focusWidget(), control<QWidget>(*dialog, "filOpenSave"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* box = control<QLineEdit>(*dialog, "txtOpenSave");
    QCOMPARE(QApplication::focusWidget(), box);
    QTest::keyClicks(box, QStringLiteral("run1"));
    QCOMPARE(box->text(), QStringLiteral("run1"));
}

void FileChooserTest::ok_is_enabled_by_the_first_change_and_stays_enabled() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    auto* ok = control<QPushButton>(*dialog, "cmdOpenSave0");
    dialog->reset_name_box();
    QVERIFY(!ok->isEnabled());
    type_name(*dialog, QStringLiteral("r"));
    QVERIFY(ok->isEnabled());
    type_name(*dialog, QStringLiteral("*.p-d"));
    QVERIFY(ok->isEnabled());
    type_name(*dialog, QString());
    QVERIFY(ok->isEnabled());
}

void FileChooserTest::typed_new_name_is_joined_to_the_folder_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");  // relative to the temporary root, or absolute
    QTest::newRow("with the pattern's extension") << "run1.p-d"
                                                  << "run1.p-d";
    QTest::newRow("no extension is added") << "run2"
                                           << "run2";
    QTest::newRow("japanese name") << "新規.p-d"
                                   << "新規.p-d";
    QTest::newRow("into a subfolder") << "sub/new.p-d"
                                      << "sub/new.p-d";
    QTest::newRow("absolute name stands for itself") << "@/sub/abs.p-d"
                                                     << "sub/abs.p-d";
}

void FileChooserTest::typed_new_name_is_joined_to_the_folder() {
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    typed.replace(QStringLiteral("@"), m_root);
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    type_name(*dialog, typed);
    click_ok(*dialog);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(dialog->accepted_path(), std::optional<QString>(in_root(expected)));
    QVERIFY(m_messages.isEmpty());
}

void FileChooserTest::new_name_in_the_root_folder_has_one_separator() {
    QVERIFY(QDir::setCurrent(QDir::rootPath()));
    const QString name =
        QStringLiteral("quarnel-%1.p-d").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), QStringLiteral("/"));
    type_name(*dialog, name);
    click_ok(*dialog);
    QCOMPARE(dialog->accepted_path(), std::optional<QString>(u'/' + name));
}

void FileChooserTest::typed_pattern_changes_the_list_and_keeps_the_dialog_open_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");  // relative to the temporary root
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QString>("box");
    QTest::newRow("one pattern") << "*.txt"
                                 << "" << QStringList{"notes.txt"} << "*.txt";
    QTest::newRow("two patterns") << "*.txt;*.dat"
                                  << "" << QStringList{"notes.txt", "other.dat"} << "*.txt;*.dat";
    QTest::newRow("case counts") << "*.P-D"
                                 << "" << QStringList{"UPPER.P-D"} << "*.P-D";
    QTest::newRow("question mark") << "?.p-d"
                                   << "" << QStringList{"a.p-d", "b.p-d"} << "?.p-d";
    QTest::newRow("after a folder") << "sub/*.txt"
                                    << "sub" << QStringList{"c.txt"} << "*.txt";
}

void FileChooserTest::typed_pattern_changes_the_list_and_keeps_the_dialog_open() {
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QFETCH(QStringList, listed);
    QFETCH(QString, box);
    const QString expected_folder = folder.isEmpty() ? m_root : in_root(folder);
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    type_name(*dialog, typed);
    click_ok(*dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->accepted_path());
    QCOMPARE(texts_of(control<QListWidget>(*dialog, "filOpenSave")), listed);
    QCOMPARE(control<QLineEdit>(*dialog, "txtOpenSave")->text(), box);
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), expected_folder);
    QCOMPARE(QDir::currentPath(), expected_folder);
    QVERIFY(m_messages.isEmpty());
}

void FileChooserTest::typed_folder_moves_the_lists_and_puts_the_pattern_back_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("folder");  // relative to the temporary root
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("subfolder") << "sub"
                               << "sub" << QStringList{"c.p-d"};
    QTest::newRow("japanese folder") << "データ"
                                     << "データ" << QStringList{"d.p-d"};
    QTest::newRow("two levels") << "sub/deeper/"
                                << "sub/deeper" << QStringList{};
    QTest::newRow("absolute") << "@/vol/inner"
                              << "vol/inner" << QStringList{};
    QTest::newRow("same folder reads it again")
        << "sub/.."
        << "" << QStringList{"a.p-d", "b.p-d", "new.p-d", "結果.p-d"};
}

void FileChooserTest::typed_folder_moves_the_lists_and_puts_the_pattern_back() {
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QFETCH(QStringList, listed);
    typed.replace(QStringLiteral("@"), m_root);
    const QString expected_folder = folder.isEmpty() ? m_root : in_root(folder);
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    make_file(in_root(QStringLiteral("new.p-d")));  // appears only when the folder is read again
    type_name(*dialog, typed);
    click_ok(*dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->accepted_path());
    QCOMPARE(control<QLineEdit>(*dialog, "txtOpenSave")->text(), QStringLiteral("*.p-d"));
    QVERIFY(control<QPushButton>(*dialog, "cmdOpenSave0")->isEnabled());
    QCOMPARE(texts_of(control<QListWidget>(*dialog, "filOpenSave")), listed);
    const auto* folders = control<QListWidget>(*dialog, "dirOpenSave");
    QCOMPARE(folders->currentItem()->text(), QFileInfo(expected_folder).fileName());
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), expected_folder);
    QCOMPARE(QDir::currentPath(), expected_folder);
}

void FileChooserTest::clicking_a_file_names_it_and_double_click_accepts_it() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    auto* files = control<QListWidget>(*dialog, "filOpenSave");
    const QListWidgetItem* b = files->findItems(QStringLiteral("b.p-d"), Qt::MatchExactly).first();
    const QPoint centre = files->visualItemRect(b).center();

    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, centre);
    QCOMPARE(control<QLineEdit>(*dialog, "txtOpenSave")->text(), QStringLiteral("b.p-d"));
    QVERIFY(control<QPushButton>(*dialog, "cmdOpenSave0")->isEnabled());
    QVERIFY(dialog->isVisible());

    double_click(files, b);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->accepted_path(), std::optional<QString>(in_root(QStringLiteral("b.p-d"))));
}

void FileChooserTest::enter_opens_a_folder_in_the_folder_list_and_confirms_in_the_name_box() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog.get()));
    type_name(*dialog, QStringLiteral("later.p-d"));  // OK is enabled from here on

    auto* folders = control<QListWidget>(*dialog, "dirOpenSave");
    folders->setFocus();
    const int sub_row =
        folders->row(folders->findItems(QStringLiteral("sub"), Qt::MatchExactly).first());
    while (folders->currentRow() < sub_row) QTest::keyClick(folders, Qt::Key_Down);
    QTest::keyClick(folders, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QCOMPARE(QDir::currentPath(), in_root(QStringLiteral("sub")));
    QCOMPARE(texts_of(control<QListWidget>(*dialog, "filOpenSave")), QStringList{"c.p-d"});

    type_name(*dialog, QStringLiteral("run3.p-d"));
    QTest::keyClick(control<QLineEdit>(*dialog, "txtOpenSave"), Qt::Key_Return);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->accepted_path(),
             std::optional<QString>(in_root(QStringLiteral("sub/run3.p-d"))));
}

void FileChooserTest::typed_name_of_a_listed_file_accepts_it() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    type_name(*dialog, QStringLiteral("結果.p-d"));
    click_ok(*dialog);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->accepted_path(), std::optional<QString>(in_root(QStringLiteral("結果.p-d"))));
}

void FileChooserTest::existing_unlisted_file_is_not_taken() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    for (const QString& name : {QStringLiteral("notes.txt"), QStringLiteral("sub/c.p-d")}) {
        type_name(*dialog, name);
        click_ok(*dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->accepted_path());
    }
    QCOMPARE(QDir::currentPath(), m_root);
    QVERIFY(m_messages.isEmpty());
}

void FileChooserTest::invalid_names_show_the_platform_description_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("error");
    QTest::newRow("name too long") << QString(300, u'a') << ENAMETOOLONG;
    // 100 characters, but 300 bytes on disk.
    QTest::newRow("japanese name too long") << QString(100, u'デ') << ENAMETOOLONG;
    QTest::newRow("NUL inside") << QStringLiteral("run") + QChar(u'\0') + QStringLiteral("1.p-d")
                                << EINVAL;
    QTest::newRow("missing folder") << "nowhere/run1.p-d" << ENOENT;
    QTest::newRow("missing folder named with a separator") << "nowhere/" << ENOENT;
    QTest::newRow("a file used as folder") << "notes.txt/run1.p-d" << ENOTDIR;
    QTest::newRow("pattern in a missing folder") << "nowhere/*.p-d" << ENOENT;
}

void FileChooserTest::invalid_names_show_the_platform_description() {
    QFETCH(QString, typed);
    QFETCH(int, error);
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    auto* box = control<QLineEdit>(*dialog, "txtOpenSave");
    if (typed.contains(QChar(u'\0'))) {
        box->setText(typed);  // a NUL cannot be typed, only pasted
    } else {
        type_name(*dialog, typed);
    }
    click_ok(*dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->accepted_path());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY2(m_messages.first().endsWith(system_error(error)), qPrintable(m_messages.first()));
    QCOMPARE(box->text(), typed);
}

void FileChooserTest::message_box_has_exclamation_icon_ok_and_program_title() {
    const quarnel::ChooserMessageHandler capture = quarnel::set_chooser_message_handler({});
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    type_name(*dialog, QString(300, u'a'));

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    QMessageBox::StandardButtons buttons;
    bool modal = false;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        icon = box->icon();
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        modal = box->isModal();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    poll.start(20);
    click_ok(*dialog);
    poll.stop();
    quarnel::set_chooser_message_handler(capture);

    QCOMPARE(icon, QMessageBox::Warning);
    QCOMPARE(title, QStringLiteral("Quarnel"));
    QCOMPARE(text, system_error(ENAMETOOLONG));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(modal);
    QVERIFY(dialog->isVisible());
}

void FileChooserTest::ok_with_an_empty_box_does_nothing() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    for (const QString& blank : {QString(), QStringLiteral("   ")}) {
        type_name(*dialog, blank);
        QVERIFY(control<QPushButton>(*dialog, "cmdOpenSave0")->isEnabled());
        click_ok(*dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->accepted_path());
    }
    QVERIFY(m_messages.isEmpty());
}

void FileChooserTest::folder_that_vanished_is_reported_and_the_lists_stay() {
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    auto* folders = control<QListWidget>(*dialog, "dirOpenSave");
    const QListWidgetItem* vol =
        folders->findItems(QStringLiteral("vol"), Qt::MatchExactly).first();
    QVERIFY(QDir(in_root(QStringLiteral("vol"))).removeRecursively());

    double_click(folders, vol);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().startsWith(in_root(QStringLiteral("vol"))));
    QVERIFY(m_messages.first().endsWith(system_error(ENOENT)));
    QCOMPARE(folders->currentItem()->text(), QFileInfo(m_root).fileName());
    QVERIFY(folders->findItems(QStringLiteral("vol"), Qt::MatchExactly).isEmpty());
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), m_root);
    QCOMPARE(QDir::currentPath(), m_root);
    QVERIFY(dialog->isVisible());
}

void FileChooserTest::folder_without_permission_is_reported_and_the_lists_stay() {
    if (::geteuid() == 0) QSKIP("permissions do not bind the superuser");
    QVERIFY(QFile::setPermissions(in_root(QStringLiteral("locked")), QFileDevice::Permissions()));
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    type_name(*dialog, QStringLiteral("locked"));
    click_ok(*dialog);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().endsWith(system_error(EACCES)));
    QCOMPARE(QDir::currentPath(), m_root);
    QCOMPARE(texts_of(control<QListWidget>(*dialog, "filOpenSave")),
             (QStringList{"a.p-d", "b.p-d", "結果.p-d"}));

    type_name(*dialog, QStringLiteral("locked/run1.p-d"));
    click_ok(*dialog);
    QCOMPARE(m_messages.size(), 2);
    QVERIFY(m_messages.last().endsWith(system_error(EACCES)));
    QVERIFY(!dialog->accepted_path());
}

void FileChooserTest::cancel_returns_nothing_and_next_opening_starts_in_last_folder() {
    QString title;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<FrmOpenSave*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        title = dialog->windowTitle();
        type_name(*dialog, QStringLiteral("sub"));
        click_ok(*dialog);
        QTest::mouseClick(control<QPushButton>(*dialog, "cmdOpenSave1"), Qt::LeftButton);
        if (dialog->isVisible()) dialog->reject();  // fail fast rather than hang
    });
    QCOMPARE(quarnel::show_file_chooser(nullptr), std::nullopt);
    QCOMPARE(title, QStringLiteral("Data File Name"));
    QCOMPARE(QDir::currentPath(), in_root(QStringLiteral("sub")));

    bool ok_enabled = true;
    QString box_text;
    QString folder_label;
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<FrmOpenSave*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        ok_enabled = control<QPushButton>(*dialog, "cmdOpenSave0")->isEnabled();
        box_text = control<QLineEdit>(*dialog, "txtOpenSave")->selectedText();
        folder_label = control<QLabel>(*dialog, "lblOpenSave2")->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
        if (dialog->isVisible()) dialog->reject();  // fail fast rather than hang
    });
    QCOMPARE(quarnel::show_file_chooser(nullptr), std::nullopt);
    QVERIFY(!ok_enabled);
    QCOMPARE(box_text, QStringLiteral("*.p-d"));
    QCOMPARE(folder_label, in_root(QStringLiteral("sub")));

    QTimer::singleShot(0, this, [&] { QApplication::activeModalWidget()->close(); });
    QCOMPARE(quarnel::show_file_chooser(nullptr), std::nullopt);
}

void FileChooserTest::vanished_current_folder_opens_the_nearest_folder_left() {
    QVERIFY(QDir::setCurrent(in_root(QStringLiteral("sub/deeper"))));
    QVERIFY(open_dialog());
    QVERIFY(QDir(in_root(QStringLiteral("sub"))).removeRecursively());
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().startsWith(in_root(QStringLiteral("sub/deeper"))));
    QVERIFY(m_messages.first().endsWith(system_error(ENOENT)));
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), m_root);
    QCOMPARE(QDir::currentPath(), m_root);
}

void FileChooserTest::double_click_in_the_shown_chooser_returns_the_path() {
    QTimer::singleShot(0, this, [&] {
        auto* dialog = qobject_cast<FrmOpenSave*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto* files = control<QListWidget>(*dialog, "filOpenSave");
        double_click(files, files->item(0));
        if (dialog->isVisible()) dialog->reject();  // fail fast rather than hang
    });
    QCOMPARE(quarnel::show_file_chooser(nullptr),
             std::optional<QString>(in_root(QStringLiteral("a.p-d"))));
}

void FileChooserTest::thousands_of_files_are_listed_in_name_order() {
    const QString crowded = in_root(QStringLiteral("crowded"));
    QVERIFY(QDir().mkpath(crowded));
    for (int i = 2999; i >= 0; --i) {
        make_file(crowded + QStringLiteral("/f%1.p-d").arg(i, 4, 10, QChar(u'0')));
    }
    make_file(crowded + QStringLiteral("/skipped.txt"));
    QVERIFY(QDir::setCurrent(crowded));
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    const auto* files = control<QListWidget>(*dialog, "filOpenSave");
    QCOMPARE(files->count(), 3000);
    QCOMPARE(files->item(0)->text(), QStringLiteral("f0000.p-d"));
    QCOMPARE(files->item(2999)->text(), QStringLiteral("f2999.p-d"));
}

void FileChooserTest::each_drive_keeps_its_own_folder_and_a_broken_drive_is_refused() {
    const QString vol = in_root(QStringLiteral("vol"));
    const QString gone = in_root(QStringLiteral("gone"));
    quarnel::DriveList::set_roots_override(QStringList{QStringLiteral("/"), vol, gone});
    const auto dialog = open_dialog();
    QVERIFY(dialog);
    auto* drives = control<QComboBox>(*dialog, "drvOpenSave");
    const auto choose = [&](const QString& root) {
        drives->setCurrentIndex(drives->findData(root));
    };
    QCOMPARE(drives->currentData().toString(), QStringLiteral("/"));

    choose(vol);
    QCOMPARE(QDir::currentPath(), vol);
    QCOMPARE(control<QLabel>(*dialog, "lblOpenSave2")->text(), vol);
    type_name(*dialog, QStringLiteral("inner"));
    click_ok(*dialog);
    QCOMPARE(QDir::currentPath(), vol + QStringLiteral("/inner"));

    choose(QStringLiteral("/"));
    QCOMPARE(QDir::currentPath(), m_root);
    choose(vol);
    QCOMPARE(QDir::currentPath(), vol + QStringLiteral("/inner"));

    choose(gone);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages.first().endsWith(system_error(ENOENT)));
    QCOMPARE(drives->currentData().toString(), vol);
    QCOMPARE(QDir::currentPath(), vol + QStringLiteral("/inner"));

    // Leaving the volume through the folder list shows the drive that holds the folder.
    type_name(*dialog, QStringLiteral("../.."));
    click_ok(*dialog);
    QCOMPARE(QDir::currentPath(), m_root);
    QCOMPARE(drives->currentData().toString(), QStringLiteral("/"));
}

void FileChooserTest::mounted_drives_start_at_the_root_and_leave_out_system_mounts() {
    const QStringList roots = quarnel::mounted_drive_roots();
    QVERIFY(!roots.isEmpty());
    QCOMPARE(roots.first(), QStringLiteral("/"));
    for (const QString& root : roots) {
        QVERIFY2(QFileInfo(root).isDir(), qPrintable(root));
        for (const char* system : {"/proc", "/sys", "/dev"}) {
            const QString tree = QString::fromLatin1(system);
            QVERIFY2(root != tree && !root.startsWith(tree + u'/'), qPrintable(root));
        }
    }
}

QTEST_MAIN(FileChooserTest)
#include "file_chooser_test.moc"
