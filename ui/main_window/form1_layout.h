#pragma once

#include <QRect>
#include <vector>

namespace quarnel {

// What a control of Form1 is; decides its widget class, colours and font.
enum class ControlKind {
    group_rectangle,      // filled light grey rectangle behind a group
    caption_plate,        // white on dark grey, centred
    group_heading,        // bold light blue on dark grey, centred
    fiber_chart_caption,  // white on dark green
    load_chart_caption,   // white on dark blue
    note,                 // black on white, left-aligned
    command_button,
    option_button,
    input_field,
    status_line,       // bold red, disabled
    data_file_field,   // red on white
    bold_value_field,  // written by a run, bold
    face_value_field,  // written by a run, on the face colour, no tab stop
    chart_box,
    formula_picture,
};

// One control: its name, kind, place and size in twips (left, top in the
// client area) and its caption (UTF-8; empty for fields, whose texts are set
// when the window loads).
struct ControlLayout {
    const char* name;
    ControlKind kind;
    int left;
    int top;
    int width;
    int height;
    const char* caption;
};

inline constexpr int twips_per_pixel = 15;
inline constexpr int client_width_twips = 9135;
inline constexpr int client_height_twips = 11325;

// Every control in creation order: later controls lie on top of earlier ones,
// so the group rectangles come first and the value fields after their chart.
const std::vector<ControlLayout>& form1_layout();

// The control's rectangle in logical pixels.
QRect to_pixels(const ControlLayout& control);

}  // namespace quarnel
