// The figure on paper: PNG at the settings' resolution, SVG and PDF as
// vectors with their text as text. Every unit inside is a point.

#include <QBuffer>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <cmath>

#include "plot/figure.h"

namespace quarnel {

namespace {

constexpr double points_per_mm = 72 / 25.4;

std::string lower_extension(const std::string& path) {
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

QSizeF page_points(const Figure& figure, const PlotSettings& settings) {
    return {settings.width_mm * points_per_mm, figure_height_mm(figure, settings) * points_per_mm};
}

QString figure_title(const Figure& figure, const PlotSettings& settings) {
    if (settings.title) return QString::fromStdString(*settings.title);
    return QString::fromStdString(std::visit([](const auto& f) { return f.title; }, figure));
}

QByteArray svg_bytes(const Figure& figure, const PlotSettings& settings) {
    const QSizeF page = page_points(figure, settings);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    // At 72 dots per inch a unit is a point, as the drawing's units are.
    svg.setResolution(72);
    svg.setSize(QSize(static_cast<int>(std::lround(page.width())),
                      static_cast<int>(std::lround(page.height()))));
    svg.setViewBox(QRectF(QPointF(0, 0), page));
    svg.setTitle(figure_title(figure, settings));
    svg.setDescription("Drawn by Quarnel");
    QPainter painter(&svg);
    draw_figure(painter, page, figure, settings);
    painter.end();
    // The generator gives the size in whole points; the page's own size in
    // mm replaces it, so that a 90 mm figure is 90 mm wide.
    QByteArray bytes = buffer.data();
    const QByteArray given = QString("<svg width=\"%1mm\" height=\"%2mm\"")
                                 .arg(std::lround(page.width()) * 25.4 / 72)
                                 .arg(std::lround(page.height()) * 25.4 / 72)
                                 .toUtf8();
    const QByteArray exact = QString("<svg width=\"%1mm\" height=\"%2mm\"")
                                 .arg(settings.width_mm)
                                 .arg(figure_height_mm(figure, settings))
                                 .toUtf8();
    const qsizetype at = bytes.indexOf(given);
    if (at >= 0) bytes.replace(at, given.size(), exact);
    return bytes;
}

QByteArray pdf_bytes(const Figure& figure, const PlotSettings& settings) {
    const QSizeF page = page_points(figure, settings);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter pdf(&buffer);
        pdf.setPageSize(QPageSize(QSizeF(settings.width_mm, figure_height_mm(figure, settings)),
                                  QPageSize::Millimeter, "Figure", QPageSize::ExactMatch));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(72);
        pdf.setCreator("Quarnel");
        pdf.setTitle(figure_title(figure, settings));
        QPainter painter(&pdf);
        draw_figure(painter, page, figure, settings);
        painter.end();
    }
    return buffer.data();
}

QByteArray png_bytes(const Figure& figure, const PlotSettings& settings) {
    const QImage image = figure_image(figure, settings);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return {};
    return buffer.data();
}

}  // namespace

QImage figure_image(const Figure& figure, const PlotSettings& settings) {
    const QSizeF page = page_points(figure, settings);
    const double pixels_per_point = settings.dpi / 72.0;
    QImage image(static_cast<int>(std::lround(page.width() * pixels_per_point)),
                 static_cast<int>(std::lround(page.height() * pixels_per_point)),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    // Fonts take their sizes at the image's resolution: at 72 dots per inch
    // a point is a unit, and the painter scales units to pixels.
    const int dots_per_meter_72 = static_cast<int>(std::lround(72 / 0.0254));
    image.setDotsPerMeterX(dots_per_meter_72);
    image.setDotsPerMeterY(dots_per_meter_72);
    {
        QPainter painter(&image);
        painter.scale(image.width() / page.width(), image.height() / page.height());
        draw_figure(painter, page, figure, settings);
    }
    const int dots_per_meter = static_cast<int>(std::lround(settings.dpi / 0.0254));
    image.setDotsPerMeterX(dots_per_meter);
    image.setDotsPerMeterY(dots_per_meter);
    return image;
}

bool is_figure_name(const std::string& path) {
    const std::string e = lower_extension(path);
    return e == "png" || e == "svg" || e == "pdf";
}

std::optional<std::string> write_figure(const std::string& path, const Figure& figure,
                                        const PlotSettings& settings) {
    const std::string extension = lower_extension(path);
    QByteArray bytes;
    if (extension == "svg") {
        bytes = svg_bytes(figure, settings);
    } else if (extension == "pdf") {
        bytes = pdf_bytes(figure, settings);
    } else if (extension == "png") {
        bytes = png_bytes(figure, settings);
    } else {
        return "cannot draw \"" + path + "\": its name must end in .png, .svg or .pdf";
    }
    if (bytes.isEmpty()) return "cannot draw \"" + path + "\": the drawing came out empty";
    // Written whole or not at all: a failure leaves no half figure behind.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return "cannot write \"" + path + "\": " + file.errorString().toStdString();
    }
    return std::nullopt;
}

}  // namespace quarnel
