#include "form1_layout.h"

namespace quarnel {

namespace {

// Caption plates are 255 twips high and the fields under them 285.
constexpr int plate_height = 255;
constexpr int field_height = 285;

}  // namespace

const std::vector<ControlLayout>& form1_layout() {
    using enum ControlKind;
    static const std::vector<ControlLayout> layout = {
        {"Shape4", group_rectangle, 240, 1080, 2415, 1815, ""},
        {"Shape3", group_rectangle, 240, 3120, 2415, 5535, ""},
        {"Shape1", group_rectangle, 240, 8880, 2415, 1575, ""},
        {"Shape2", group_rectangle, 2760, 1080, 6255, 2055, ""},

        {"Command2", command_button, 240, 240, 1575, 375, "Data File Name"},
        {"Command1", command_button, 1920, 240, 1575, 375, "Start"},
        {"Text1", status_line, 3600, 240, 3615, 375, ""},
        {"Command4", command_button, 7320, 240, 1575, 375, "Exit"},
        {"Label14", caption_plate, 240, 720, 1575, plate_height, "Data file"},
        {"Text2", data_file_field, 1800, 720, 7215, 255, ""},

        {"Label5", group_heading, 360, 1200, 2175, plate_height, "Matrix"},
        {"Label4", caption_plate, 360, 1440, 2175, plate_height, "Sectional area (mm2)"},
        {"Text3", input_field, 360, 1680, 2175, field_height, ""},
        {"Label20", caption_plate, 360, 2040, 2175, plate_height, "Crack angle (0-90deg)"},
        {"Label30", caption_plate, 360, 2280, 1095, plate_height, "x-y"},
        {"Text25", input_field, 360, 2520, 1095, field_height, ""},
        {"Label31", caption_plate, 1440, 2280, 1095, plate_height, "z-x"},
        {"Text26", input_field, 1440, 2520, 1095, field_height, ""},

        {"Label6", group_heading, 360, 3240, 2175, plate_height, "Fiber"},
        {"Label8", caption_plate, 360, 3480, 2175, plate_height, "Volume fraction"},
        {"Text4", input_field, 360, 3720, 2175, field_height, ""},
        {"Label7", caption_plate, 360, 4080, 2175, plate_height, "Sectional area (mm2)"},
        {"Text5", input_field, 360, 4320, 2175, field_height, ""},
        {"Label9", caption_plate, 360, 4680, 2175, plate_height, "Length (mm)"},
        {"Text6", input_field, 360, 4920, 2175, field_height, ""},
        {"Label1", caption_plate, 360, 5400, 2175, plate_height, "Snubbing coefficient"},
        {"Label33", caption_plate, 360, 5640, 2175, plate_height, "for pullout load"},
        {"Label2", caption_plate, 360, 5880, 1095, plate_height, "fp0"},
        {"Text7", input_field, 360, 6120, 1095, field_height, ""},
        {"Label29", caption_plate, 1440, 5880, 1095, plate_height, "+fp1(*lb)"},
        {"Text24", input_field, 1440, 6120, 1095, field_height, ""},
        {"Label34", caption_plate, 360, 6480, 2175, plate_height, "for displacement"},
        {"Label35", caption_plate, 360, 6720, 1095, plate_height, "fd0"},
        {"Text27", input_field, 360, 6960, 1095, field_height, ""},
        {"Label36", caption_plate, 1440, 6720, 1095, plate_height, "+fd1(*lb)"},
        {"Text28", input_field, 1440, 6960, 1095, field_height, ""},
        {"Label28", caption_plate, 360, 7440, 2175, plate_height, "Strength reduction"},
        {"Text8", input_field, 360, 7680, 2175, field_height, ""},
        {"Label3", caption_plate, 360, 8040, 2175, plate_height, "Rupture strength (MPa)"},
        {"Text9", input_field, 360, 8280, 2175, field_height, ""},

        {"Label10", group_heading, 360, 9000, 2175, plate_height, "Fiber orientation"},
        {"Label11", caption_plate, 360, 9240, 1095, plate_height, "kxy"},
        {"Text10", input_field, 360, 9480, 1095, field_height, ""},
        {"Label13", caption_plate, 1440, 9240, 1095, plate_height, "\xCE\xB8r,xy(deg)"},
        {"Text11", input_field, 1440, 9480, 1095, field_height, ""},
        {"Label15", caption_plate, 360, 9840, 1095, plate_height, "kzx"},
        {"Text12", input_field, 360, 10080, 1095, field_height, ""},
        {"Label16", caption_plate, 1440, 9840, 1095, plate_height, "\xCE\xB8r,zx(deg)"},
        {"Text13", input_field, 1440, 10080, 1095, field_height, ""},
        {"Label24", caption_plate, 360, 10560, 1095, plate_height, "Division"},
        {"Text20", input_field, 1440, 10560, 1095, field_height, ""},

        {"Label12", group_heading, 2880, 1200, 3255, plate_height, "Bi-linear bridging model"},
        {"Option1", option_button, 2880, 1560, 3255, 255, "Constant model"},
        {"Option2", option_button, 2880, 1800, 3255, 255, "Function lb model"},
        {"Label19", note, 2880, 2160, 1455, 495, "<Function lb model>"},
        {"Label32", note, 2880, 2640, 3255, 375, " P: (N), \xCE\xB4: (mm)"},
        // Over the lower note, which would otherwise hide the second formula.
        {"Image1", formula_picture, 4320, 2160, 1800, 795, ""},
        {"Label17", caption_plate, 6360, 1920, 1215, plate_height, "Pmax (N)"},
        {"Text14", input_field, 6360, 2160, 1215, field_height, ""},
        {"Label18", caption_plate, 7680, 1920, 1215, plate_height, "\xCE\xB4max (mm)"},
        {"Text15", input_field, 7680, 2160, 1215, field_height, ""},
        {"Label21", caption_plate, 6360, 2520, 1215, plate_height, "-"},
        {"Text16", input_field, 6360, 2760, 1215, field_height, ""},
        {"Label23", caption_plate, 7680, 2520, 1215, plate_height, "-"},
        {"Text17", input_field, 7680, 2760, 1215, field_height, ""},

        {"Picture2", chart_box, 2760, 3480, 6135, 2775, ""},
        {"Label25", fiber_chart_caption, 6360, 3240, 2535, plate_height, "Fiber effectiveness"},
        {"Text21", bold_value_field, 6360, 3480, 2535, field_height, ""},

        {"Picture1", chart_box, 2760, 6600, 6135, 4215, ""},
        {"Label26", load_chart_caption, 6360, 6360, 1215, plate_height, "Pmax (kN)"},
        {"Label27", load_chart_caption, 7680, 6360, 1215, plate_height, "\xCF\x83max (MPa)"},
        {"Text18", bold_value_field, 6360, 6600, 1215, field_height, ""},
        {"Text19", bold_value_field, 7680, 6600, 1215, field_height, ""},
        {"Text22", face_value_field, 5880, 6960, 2895, field_height, ""},
        {"Text23", face_value_field, 5880, 7200, 2895, field_height, ""},
    };
    return layout;
}

QRect to_pixels(const ControlLayout& control) {
    return {control.left / twips_per_pixel, control.top / twips_per_pixel,
            control.width / twips_per_pixel, control.height / twips_per_pixel};
}

}  // namespace quarnel
