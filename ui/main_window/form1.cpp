#include "form1.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <exception>

#include "engine/text_to_number.h"
#include "form1_layout.h"
#include "form1_run_window.h"
#include "plot/figure.h"
#include "plot/figure_files.h"
#include "ui/file_chooser/file_chooser_dialog.h"
#include "ui/widgets/chart_box.h"

namespace quarnel {

namespace {

constexpr QRgb white = qRgb(255, 255, 255);
constexpr QRgb black = qRgb(0, 0, 0);
constexpr QRgb red = qRgb(255, 0, 0);
constexpr QRgb light_grey = qRgb(192, 192, 192);
constexpr QRgb dark_grey = qRgb(128, 128, 128);
constexpr QRgb light_blue = qRgb(192, 192, 255);
constexpr QRgb dark_blue = qRgb(0, 0, 192);
constexpr QRgb dark_green = qRgb(0, 64, 0);

// The tab order of the window; the option pair is one stop, taken by the
// selected button.
constexpr const char* tab_order[] = {
    "Command2", "Command1", "Command4", "Text2",   "Text3",   "Text25", "Text4",  "Text5",
    "Text6",    "Text7",    "Text24",   "Text27",  "Text28",  "Text8",  "Text9",  "Text10",
    "Text11",   "Text12",   "Text13",   "Option1", "Option2", "Text14", "Text15", "Text16",
    "Text17",   "Text20",   "Text18",   "Text19",  "Text21",  "Text26",
};

QFont window_font() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"),
                      QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setPointSizeF(9.75);
    return font;
}

QFont bold(QFont font) {
    font.setBold(true);
    return font;
}

void set_colour(QWidget* widget, QPalette::ColorRole role, QRgb rgb) {
    QPalette palette = widget->palette();
    palette.setColor(role, QColor(rgb));
    widget->setPalette(palette);
}

QLabel* make_plate(QWidget* parent, const ControlLayout& c, QRgb text, QRgb background) {
    auto* label = new QLabel(QString::fromUtf8(c.caption), parent);
    label->setAutoFillBackground(true);
    set_colour(label, QPalette::WindowText, text);
    set_colour(label, QPalette::Window, background);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

// One line "<base> = <factor> · lb" with its exponent raised after it.
void draw_power(QPainter& painter, const QFont& font, const QFont& exponent_font, QPoint baseline,
                const QString& text, const QString& exponent) {
    painter.setFont(font);
    painter.drawText(baseline, text);
    const int x = baseline.x() + QFontMetrics(font).horizontalAdvance(text) + 1;
    painter.setFont(exponent_font);
    painter.drawText(QPoint(x, baseline.y() - 6), exponent);
}

// The two pull-out formulas, black on white, 120 x 53 pixels.
QPixmap formula_picture(const QFont& window_font) {
    QPixmap picture(120, 53);
    picture.fill(Qt::white);
    QPainter painter(&picture);
    painter.setPen(Qt::black);
    QFont font = window_font;
    font.setPixelSize(13);
    QFont exponent_font = window_font;
    exponent_font.setPixelSize(9);
    draw_power(painter, font, exponent_font, QPoint(8, 21), QStringLiteral("Pmax = A · lb"),
               QStringLiteral("B"));
    draw_power(painter, font, exponent_font, QPoint(8, 42), QStringLiteral("δmax = C · lb"),
               QStringLiteral("D"));
    return picture;
}

void show_warning_box(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox::warning(parent, title, text, QMessageBox::Ok);
}

// Cancel is the default: a text read in part is most often a slip of the
// keyboard, and a run replaces the result file.
bool show_confirm_box(QWidget* parent, const QString& title, const QString& text) {
    return QMessageBox::warning(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      file_chooser(show_file_chooser),
      message_box(show_warning_box),
      confirm_box(show_confirm_box),
      clock(local_clock_now) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quarnel"));
    setFixedSize(client_width_twips / twips_per_pixel, client_height_twips / twips_per_pixel);
    setFont(window_font());
    build_controls();
    set_tab_order();
    load();
}

void Form1::build_controls() {
    for (const ControlLayout& c : form1_layout()) {
        QWidget* widget = nullptr;
        switch (c.kind) {
            case ControlKind::group_rectangle:
                widget = new QWidget(this);
                widget->setAutoFillBackground(true);
                set_colour(widget, QPalette::Window, light_grey);
                break;
            case ControlKind::caption_plate:
                widget = make_plate(this, c, white, dark_grey);
                break;
            case ControlKind::group_heading:
                widget = make_plate(this, c, light_blue, dark_grey);
                widget->setFont(bold(font()));
                break;
            case ControlKind::fiber_chart_caption:
                widget = make_plate(this, c, white, dark_green);
                break;
            case ControlKind::load_chart_caption:
                widget = make_plate(this, c, white, dark_blue);
                break;
            case ControlKind::note: {
                QLabel* note = make_plate(this, c, black, white);
                note->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                note->setWordWrap(true);
                widget = note;
                break;
            }
            case ControlKind::command_button:
                widget = new QPushButton(QString::fromUtf8(c.caption), this);
                break;
            case ControlKind::option_button: {
                auto* option = new QRadioButton(QString::fromUtf8(c.caption), this);
                set_colour(option, QPalette::WindowText, black);
                widget = option;
                break;
            }
            case ControlKind::input_field:
                widget = new QLineEdit(this);
                break;
            case ControlKind::status_line: {
                // Disabled, yet its text must read as a message, not as a
                // greyed-out field.
                auto* status = new QLineEdit(this);
                status->setFont(bold(font()));
                QPalette palette = status->palette();
                palette.setColor(QPalette::Text, QColor(red));
                palette.setColor(QPalette::Disabled, QPalette::Base,
                                 palette.color(QPalette::Active, QPalette::Base));
                status->setPalette(palette);
                status->setEnabled(false);
                widget = status;
                break;
            }
            case ControlKind::data_file_field:
                widget = new QLineEdit(this);
                set_colour(widget, QPalette::Text, red);
                set_colour(widget, QPalette::Base, white);
                break;
            case ControlKind::bold_value_field:
                widget = new QLineEdit(this);
                widget->setFont(bold(font()));
                break;
            case ControlKind::face_value_field:
                widget = new QLineEdit(this);
                set_colour(widget, QPalette::Base, palette().color(QPalette::Window).rgb());
                widget->setFocusPolicy(Qt::ClickFocus);
                break;
            case ControlKind::chart_box:
                // The charts only show; the drawing goes on while disabled.
                widget = new ChartBox(this);
                widget->setEnabled(false);
                break;
            case ControlKind::formula_picture: {
                auto* picture = new QLabel(this);
                picture->setPixmap(formula_picture(font()));
                widget = picture;
                break;
            }
        }
        const QString name = QString::fromUtf8(c.name);
        widget->setObjectName(name);
        widget->setGeometry(to_pixels(c));
        if (auto* field = qobject_cast<QLineEdit*>(widget)) fields_.emplace(c.name, field);
        if (auto* plate = qobject_cast<QLabel*>(widget)) labels_.emplace(c.name, plate);
    }

    command1_ = findChild<QPushButton*>(QStringLiteral("Command1"));
    command2_ = findChild<QPushButton*>(QStringLiteral("Command2"));
    command4_ = findChild<QPushButton*>(QStringLiteral("Command4"));
    option1_ = findChild<QRadioButton*>(QStringLiteral("Option1"));
    option2_ = findChild<QRadioButton*>(QStringLiteral("Option2"));
    picture1_ = findChild<ChartBox*>(QStringLiteral("Picture1"));
    picture2_ = findChild<ChartBox*>(QStringLiteral("Picture2"));

    command1_->setEnabled(false);
    option1_->setChecked(true);

    connect(command2_, &QPushButton::clicked, this, &Form1::choose_data_file);
    connect(command1_, &QPushButton::clicked, this, &Form1::start_run);
    connect(command4_, &QPushButton::clicked, this, &Form1::exit_program);
    connect(option1_, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected) choose_constant_model();
    });
    connect(option2_, &QRadioButton::toggled, this, [this](bool selected) {
        if (selected) choose_function_lb_model();
    });
    text_field("Text24")->installEventFilter(this);
    build_chart_menu();
    picture1_->installEventFilter(this);
    picture2_->installEventFilter(this);
}

void Form1::build_chart_menu() {
    chart_menu_ = new QMenu(this);
    chart_menu_->setObjectName(QStringLiteral("chart_menu"));
    chart_menu_->addAction(QStringLiteral("Save Chart As..."), this, &Form1::save_chart);
    chart_menu_->addAction(QStringLiteral("Copy Data"), this,
                           [this] { QGuiApplication::clipboard()->setText(steps_text()); });
    chart_menu_->addAction(QStringLiteral("Copy Image"), this, &Form1::copy_image);
}

void Form1::open_chart_menu(const QPoint& at) {
    // Nothing to save or copy before a run has published a step.
    for (QAction* action : chart_menu_->actions()) action->setEnabled(!last_steps_.empty());
    chart_menu_->popup(at);
}

namespace {

LawFigure law_figure(const std::vector<StepValues>& steps, const std::string& title) {
    LawFigure figure;
    for (const StepValues& s : steps) {
        figure.w.push_back(s.Wcr);
        figure.sigma.push_back(s.sigma);
        figure.ratio.push_back(s.effective_fiber_ratio);
    }
    figure.title = title;
    return figure;
}

}  // namespace

QString Form1::steps_text() const {
    QString text = QStringLiteral("step\tWcr_mm\tP_N\tsigma_MPa\teffective_fiber_ratio\n");
    for (const StepValues& s : last_steps_) {
        text += QString::number(s.n);
        for (const double v : {s.Wcr, s.P, s.sigma, s.effective_fiber_ratio}) {
            text += '\t' + QString::fromStdString(shortest_number_text(v));
        }
        text += '\n';
    }
    return text;
}

void Form1::save_chart() {
    std::optional<QString> name;
    if (save_chart_name) {
        name = save_chart_name(this);
    } else {
        const QString chosen = QFileDialog::getSaveFileName(
            this, QStringLiteral("Save Chart As"), QStringLiteral("bridging-law.png"),
            QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
        if (!chosen.isEmpty()) name = chosen;
    }
    if (!name || name->isEmpty()) return;
    std::string path = QFile::encodeName(*name).toStdString();
    if (!is_figure_name(path)) path += ".png";
    if (const auto failure = write_figure(path, law_figure(last_steps_, last_title_), {})) {
        if (message_box)
            message_box(this, QStringLiteral("Error"), QString::fromStdString(*failure));
    }
}

void Form1::copy_image() {
    QGuiApplication::clipboard()->setImage(
        figure_image(law_figure(last_steps_, last_title_), PlotSettings{}));
}

void Form1::set_tab_order() {
    QWidget* previous = nullptr;
    for (const char* name : tab_order) {
        auto* widget = findChild<QWidget*>(QString::fromUtf8(name));
        if (previous) setTabOrder(previous, widget);
        previous = widget;
    }
}

void Form1::load() {
    const FieldTexts defaults = default_field_texts();
    for (const auto& [name, field] : fields_) {
        const auto it = defaults.find(name);
        field->setText(it == defaults.end() ? QString() : QString::fromStdString(it->second));
    }
    for (const char* value_field : {"Text18", "Text19", "Text21"}) {
        text_field(value_field)->setText(QStringLiteral("0"));
    }
    model_ = 1;
    text_field("Text16")->setEnabled(false);
    text_field("Text17")->setEnabled(false);
}

void Form1::centre_on_screen() {
    const QScreen* const screen = this->screen();
    if (!screen) return;
    const QRect area = screen->geometry();
    const QSize outer = frameGeometry().size();
    // Each half is taken before the subtraction; a window larger than the
    // screen gets a negative position and is placed there.
    move(area.left() + area.width() / 2 - outer.width() / 2,
         area.top() + area.height() / 2 - outer.height() / 2);
}

void Form1::showEvent(QShowEvent* event) {
    if (!centred_) {
        centred_ = true;
        centre_on_screen();
    }
    QWidget::showEvent(event);
}

FieldTexts Form1::field_texts() const {
    FieldTexts texts;
    for (const auto& [name, field] : fields_) {
        if (name != "Text1") texts[name] = field->text().toStdString();
    }
    return texts;
}

QLineEdit* Form1::text_field(std::string_view name) const {
    const auto it = fields_.find(name);
    return it == fields_.end() ? nullptr : it->second;
}

QLabel* Form1::label(std::string_view name) const {
    const auto it = labels_.find(name);
    return it == labels_.end() ? nullptr : it->second;
}

void Form1::choose_data_file() {
    QLineEdit* const text2 = text_field("Text2");
    text2->setText(QString());
    const std::optional<QString> accepted = file_chooser ? file_chooser(this) : std::nullopt;
    if (accepted) data_file_name_ = *accepted;
    text2->setText(data_file_name_);
    command1_->setEnabled(true);
    picture1_->clear();
}

void Form1::choose_constant_model() {
    model_ = 1;
    label("Label17")->setText(QStringLiteral("Pmax (N)"));
    label("Label21")->setText(QStringLiteral("-"));
    label("Label18")->setText(QStringLiteral("δmax (mm)"));
    label("Label23")->setText(QStringLiteral("-"));
    text_field("Text16")->setText(QStringLiteral("0"));
    text_field("Text17")->setText(QStringLiteral("0"));
    text_field("Text16")->setEnabled(false);
    text_field("Text17")->setEnabled(false);
}

void Form1::choose_function_lb_model() {
    model_ = 2;
    label("Label17")->setText(QStringLiteral("A"));
    label("Label21")->setText(QStringLiteral("C"));
    label("Label18")->setText(QStringLiteral("B"));
    label("Label23")->setText(QStringLiteral("D"));
    text_field("Text16")->setEnabled(true);
    text_field("Text17")->setEnabled(true);
    text_field("Text16")->setText(QStringLiteral("0"));
    text_field("Text17")->setText(QStringLiteral("0"));
}

void Form1::apply_text24_rule() {
    QLineEdit* const text24 = text_field("Text24");
    const auto number = [this](std::string_view name) {
        return read_number(text_field(name)->text().toStdString());
    };
    inputs_.Lf = static_cast<float>(number("Text6"));
    inputs_.fp0 = static_cast<float>(number("Text7"));
    inputs_.fp1 = static_cast<float>(number("Text24"));

    // The load snubbing coefficient at the longest embedded length, Lf / 2,
    // from the stored single-precision values. A v beyond the single range
    // becomes an infinity of its sign and is judged by that sign.
    const long double v = static_cast<long double>(inputs_.fp1) * inputs_.Lf / 2 + inputs_.fp0;
    const float v_single = static_cast<float>(v);

    QPalette palette = text24->palette();
    if (v_single < 0) {
        text24->setText(QStringLiteral("0"));
        palette.setColor(QPalette::Text, QColor(red));
    } else {
        palette.setColor(QPalette::Text, QColor(black));
    }
    text24->setPalette(palette);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture1_ || watched == picture2_) {
        // The menu opens on the right button's press, as the window's other
        // menus do; a context menu event of the mouse would open it twice.
        const auto* box = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            open_chart_menu(
                box->mapToGlobal(static_cast<QMouseEvent*>(event)->position().toPoint()));
            return true;
        }
        if (event->type() == QEvent::ContextMenu) {
            const auto* menu_event = static_cast<QContextMenuEvent*>(event);
            if (menu_event->reason() != QContextMenuEvent::Mouse) {
                open_chart_menu(menu_event->globalPos());
            }
            return true;
        }
    }
    if (event->type() == QEvent::FocusOut && watched == text_field("Text24")) {
        // Leaving for another program or opening the field's context menu is
        // no move to another field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            apply_text24_rule();
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool Form1::confirm_part_readings() {
    const FieldTexts texts = field_texts();
    const std::vector<std::string> lines = part_reading_lines(texts, model_);
    if (lines.empty() || !confirm_box) return true;
    std::string text =
        "These fields are read only in part: each gives the number it starts with, and the rest "
        "is ignored.\n";
    for (const std::string& line : lines) text += "\n" + line;
    text += "\n\nOK runs with these numbers; Cancel returns to the fields.";
    if (confirm_box(this, QStringLiteral("Quarnel"), QString::fromStdString(text))) return true;
    const PartReading first = part_readings(inputs_of_fields(texts)).front();
    if (QLineEdit* field = text_field(field_of_member(first.member)->field)) {
        field->setFocus(Qt::OtherFocusReason);
        field->selectAll();
    }
    return false;
}

void Form1::start_run() {
    // Start and "Data File Name" are disabled while a run is under way; this
    // also refuses a run started some other way inside a run.
    if (running_ || exiting_) return;
    running_ = true;
    if (!confirm_part_readings()) {
        running_ = false;
        return;
    }
    Form1RunWindow window(*this);
    last_steps_.clear();
    {
        std::map<std::string, std::string> texts;
        for (const auto& [member, value] : window.input_texts()) {
            if (const auto* text = std::get_if<std::string>(&value)) texts[member] = *text;
        }
        texts["model"] = std::to_string(model_);
        last_title_ = law_title(texts);
    }
    try {
        run_calculation(window, inputs_, tables_);
    } catch (const std::exception& e) {
        // Nothing may escape into the event loop. The run's file is closed by
        // now; the user can correct the inputs and start again.
        if (!exiting_) {
            text_field("Text1")->setText(QString());
            command1_->setEnabled(true);
            command2_->setEnabled(true);
            window.show_message("Error", std::string("The calculation stopped: ") + e.what());
        }
    }
    running_ = false;
}

void Form1::exit_program() {
    if (close_all_files) close_all_files();
    exiting_ = true;
    close();
    QCoreApplication::exit(0);
}

void Form1::closeEvent(QCloseEvent* event) {
    // Closing from the frame ends the program as Exit does, so a run under
    // way stops and its file is closed.
    if (!exiting_) {
        if (close_all_files) close_all_files();
        exiting_ = true;
        QCoreApplication::exit(0);
    }
    event->accept();
}

}  // namespace quarnel
