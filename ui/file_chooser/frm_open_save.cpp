#include "frm_open_save.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include "chooser_message.h"
#include "file_paths.h"

namespace quarnel {

namespace {

// The layout is drawn in twips; the window maps 15 twips to one logical pixel.
constexpr int twips_per_pixel = 15;

constexpr int px(int twips) {
    return twips / twips_per_pixel;
}

QRect twips_rect(int left, int top, int width, int height) {
    return {px(left), px(top), px(width), px(height)};
}

QString data_file_pattern() {
    return QStringLiteral("*.p-d");
}

QFont chooser_font(qreal points) {
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QApplication::font().family()});
    font.setPointSizeF(points);
    return font;
}

// The last folder that a chooser moved to, for the whole process.
QString& last_folder() {
    static QString folder;
    return folder;
}

// The nearest folder at or above `folder` that can be listed.
QString nearest_open_folder(QString folder) {
    while (folder_open_error(folder)) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::homePath();
        folder = parent;
    }
    return folder;
}

}  // namespace

FrmOpenSave::FrmOpenSave(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("frmOpenSave"));
    setModal(true);
    setFixedSize(px(5760), px(3810));
    setFont(chooser_font(9.75));
    QPalette grey = palette();
    grey.setColor(QPalette::Window, QColor(192, 192, 192));
    setPalette(grey);
    setAutoFillBackground(true);

    build_controls();

    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
    }

    open_in_current_folder();
}

void FrmOpenSave::reset_name_box() {
    txtOpenSave->setText(data_file_pattern());
    txtOpenSave->setSelection(0, static_cast<int>(data_file_pattern().size()));
}

void FrmOpenSave::build_controls() {
    // Labels sit on the system's window colour, as text boxes do.
    QPalette label_colours = palette();
    label_colours.setColor(QPalette::Window, QApplication::palette().color(QPalette::Base));
    label_colours.setColor(QPalette::WindowText, QApplication::palette().color(QPalette::Text));
    const auto make_label = [&](int index, const QString& caption, const QRect& geometry) {
        auto* label = new QLabel(caption, this);
        label->setObjectName(QStringLiteral("lblOpenSave%1").arg(index));
        label->setGeometry(geometry);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setPalette(label_colours);
        label->setAutoFillBackground(true);
        lblOpenSave[index] = label;
    };

    // Creation order is stacking order: the path label lies under the drive list.
    make_label(0, QStringLiteral("File Name:"), twips_rect(120, 120, 1455, 315));

    txtOpenSave = new QLineEdit(data_file_pattern(), this);
    txtOpenSave->setObjectName(QStringLiteral("txtOpenSave"));
    txtOpenSave->setGeometry(twips_rect(120, 360, 2055, 315));

    filOpenSave = new FileList(this);
    filOpenSave->setObjectName(QStringLiteral("filOpenSave"));
    filOpenSave->setGeometry(twips_rect(120, 720, 2055, 2820));
    filOpenSave->set_pattern(data_file_pattern());

    make_label(3, QStringLiteral("Drive:"), twips_rect(2280, 120, 1455, 255));
    make_label(2, QString(), twips_rect(2280, 480, 3375, 315));
    lblOpenSave[2]->setFont(chooser_font(9.0));

    drvOpenSave = new DriveList(this);
    drvOpenSave->setObjectName(QStringLiteral("drvOpenSave"));
    drvOpenSave->setGeometry(twips_rect(2280, 360, 3375, 315));

    make_label(1, QStringLiteral("Folder:"), twips_rect(2280, 720, 1455, 315));

    dirOpenSave = new FolderList(this);
    dirOpenSave->setObjectName(QStringLiteral("dirOpenSave"));
    dirOpenSave->setGeometry(twips_rect(2280, 960, 3375, 2280));

    cmdOpenSave[0] = new QPushButton(QStringLiteral("OK"), this);
    cmdOpenSave[0]->setGeometry(twips_rect(2640, 3360, 1095, 375));
    cmdOpenSave[0]->setDefault(true);
    cmdOpenSave[0]->setEnabled(false);
    cmdOpenSave[1] = new QPushButton(QStringLiteral("Cancel"), this);
    cmdOpenSave[1]->setGeometry(twips_rect(4200, 3360, 1095, 375));
    for (int index = 0; index < 2; ++index) {
        cmdOpenSave[index]->setObjectName(QStringLiteral("cmdOpenSave%1").arg(index));
        connect(cmdOpenSave[index], &QPushButton::clicked, this,
                [this, index] { on_command_click(index); });
    }

    setTabOrder(filOpenSave, dirOpenSave);
    setTabOrder(dirOpenSave, txtOpenSave);
    setTabOrder(txtOpenSave, drvOpenSave);
    setTabOrder(drvOpenSave, cmdOpenSave[0]);
    setTabOrder(cmdOpenSave[0], cmdOpenSave[1]);
    filOpenSave->setFocus();

    connect(drvOpenSave, &DriveList::drive_changed, this, &FrmOpenSave::on_drive_changed);
    connect(dirOpenSave, &FolderList::path_changed, this, &FrmOpenSave::on_folder_changed);
    connect(dirOpenSave, &FolderList::open_failed, this, &FrmOpenSave::show_message);
    connect(filOpenSave, &FileList::file_clicked, txtOpenSave, &QLineEdit::setText);
    connect(filOpenSave, &FileList::file_double_clicked, this, &FrmOpenSave::accept_listed_file);
    connect(filOpenSave, &FileList::folder_changed, this, &FrmOpenSave::on_file_folder_changed);
    connect(filOpenSave, &FileList::pattern_changed, this, &FrmOpenSave::on_file_pattern_changed);
    connect(filOpenSave, &FileList::open_failed, this, &FrmOpenSave::show_message);
    connect(txtOpenSave, &QLineEdit::textChanged, this, &FrmOpenSave::on_name_changed);
}

void FrmOpenSave::open_in_current_folder() {
    QString start = QDir::currentPath();
    // The system no longer names a current folder that has been removed; the
    // chooser still knows where it left the process.
    if (start.isEmpty()) start = last_folder().isEmpty() ? QDir::homePath() : last_folder();
    if (const std::optional<QString> error = folder_open_error(start)) {
        show_message(folder_open_message(start, *error));
        start = nearest_open_folder(start);
    }
    drvOpenSave->set_drive(start);
    dirOpenSave->set_path(start);
    lblOpenSave[2]->setText(native_path(dirOpenSave->path()));
}

void FrmOpenSave::on_drive_changed() {
    const QString folder = drvOpenSave->current_folder();
    if (!dirOpenSave->set_path(folder)) {
        // The folder list has reported why; stay on the drive that worked.
        drvOpenSave->select_silently(m_drive);
        return;
    }
    QDir::setCurrent(folder);
    m_drive = drvOpenSave->drive();
}

void FrmOpenSave::on_folder_changed() {
    const QString folder = dirOpenSave->path();
    filOpenSave->set_folder(folder);
    lblOpenSave[2]->setText(native_path(folder));
    QDir::setCurrent(folder);
    last_folder() = folder;
    drvOpenSave->remember_folder(folder);
    // Mounts nest inside one another, so moving up the folder list can leave
    // the drive that is shown; show the one that holds the folder.
    const QString drive = drvOpenSave->drive_of(folder);
    if (!drive.isEmpty() && drive != drvOpenSave->drive()) drvOpenSave->select_silently(drive);
    m_drive = drvOpenSave->drive();
}

void FrmOpenSave::on_file_folder_changed() {
    txtOpenSave->setText(filOpenSave->pattern());
    drvOpenSave->set_drive(filOpenSave->folder());
    dirOpenSave->set_path(filOpenSave->folder());
}

void FrmOpenSave::on_file_pattern_changed() {
    drvOpenSave->set_drive(filOpenSave->folder());
    dirOpenSave->set_path(filOpenSave->folder());
}

void FrmOpenSave::on_name_changed(const QString& text) {
    // Once enabled, OK stays enabled while the dialog is open.
    if (text != data_file_pattern()) cmdOpenSave[0]->setEnabled(true);
}

void FrmOpenSave::on_command_click(int index) {
    if (index == 0) {
        accept_typed_name();
    } else {
        reject();
    }
}

void FrmOpenSave::accept_listed_file(const QString& name) {
    accept_path(join_path(native_path(filOpenSave->folder()), name));
}

void FrmOpenSave::accept_typed_name() {
    const QString typed = txtOpenSave->text();
    // A box left empty or blank names no file: OK then does nothing.
    if (typed.trimmed().isEmpty()) return;
    if (filOpenSave->take_file_name(typed)) return;

    const NameLookupResult found = look_up_name(filOpenSave->folder(), typed);
    switch (found.kind) {
        case NameLookup::existing:
            // An existing file that the list does not show is not taken.
            return;
        case NameLookup::invalid:
            show_message(found.error);
            return;
        case NameLookup::missing:
            break;
    }
    // An absolute name stands for itself; joined to the folder it would name
    // a path that does not exist.
    if (QDir::isAbsolutePath(QDir::fromNativeSeparators(typed))) {
        accept_path(native_path(typed));
    } else {
        accept_path(join_path(native_path(filOpenSave->folder()), typed));
    }
}

void FrmOpenSave::accept_path(const QString& path) {
    m_accepted_path = path;
    accept();
}

void FrmOpenSave::show_message(const QString& text) {
    show_chooser_message(this, text);
}

}  // namespace quarnel
