// Figures from the commands, as a user makes them: --plot on a command and
// quarnel-batch plot on the files the command wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

using namespace quarnel_test;
namespace fs = std::filesystem;

const Program batch{QUARNEL_BATCH};

const char* const pva_text =
    "Vf=0.02\nAf=0.0012\nLf=12\nsigma_fu=1600\nPmax=1.2\ndelta_max=0.12\ndivision=10\n";

// An SVG's texts joined in document order: Qt writes a line in runs of one
// script each ("σ" apart), one after the other, so every line is whole here.
std::string svg_text(const std::string& svg) {
    static const std::regex text("<text[^>]*>([^<]*)</text>");
    std::string joined;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), text); it != std::sregex_iterator();
         ++it) {
        joined += (*it)[1].str() + "\n";
    }
    return joined;
}

// The number of vertices of each polyline.
std::vector<std::size_t> polyline_sizes(const std::string& svg) {
    static const std::regex polyline("<polyline[^>]*points=\"([^\"]*)\"");
    std::vector<std::size_t> sizes;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), polyline);
         it != std::sregex_iterator(); ++it) {
        sizes.push_back(split((*it)[1].str(), " ").size() - ((*it)[1].str().back() == ' '));
    }
    return sizes;
}

class PlotCommand : public BatchTest {
  protected:
    void SetUp() override {
        BatchTest::SetUp();
        write("pva.txt", pva_text);
    }
};

TEST_F(PlotCommand, a_run_draws_its_law_and_plot_draws_the_same_from_its_files) {
    const Outcome run = batch("-o " + path("r.p-d") + " --params " + path("pva.txt") + " --csv " +
                              path("r.csv") + " --save-params " + path("r.params") +
                              " --sigma-fc 3 --J-tip 10 --plot " + path("run.svg"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Drew " + path("run.svg") + "."), std::string::npos) << run.output;
    const std::string svg = contents(path("run.svg"));
    const std::string texts = svg_text(svg);
    for (const char* title : {"Crack opening w (mm)", "Effective fiber ratio", "fc = 3 MPa"}) {
        EXPECT_NE(texts.find(title), std::string::npos) << title;
    }
    EXPECT_NE(texts.find("Bridging stress \nσ (\nMPa)"), std::string::npos) << texts;
    EXPECT_NE(texts.find("Constant model: Vf=0.02, Lf=12 mm,"), std::string::npos) << texts;
    // Division 10: 21 steps, one vertex each, in the stress and the ratio.
    const auto sizes = polyline_sizes(svg);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 21u), 2);

    const Outcome plot = batch("plot " + path("r.csv") + " --params " + path("r.params") +
                               " --sigma-fc 3 --J-tip 10 --plot " + path("again.svg"));
    ASSERT_EQ(plot.status, 0) << plot.output;
    EXPECT_TRUE(contents(path("again.svg")) == svg) << "the SVGs differ";
    // The figure's own files go when the user named none.
    ASSERT_EQ(batch("-o " + path("q.p-d") + " --params " + path("pva.txt") + " --quiet --plot " +
                    path("q.svg"))
                  .status,
              0);
    const auto q_sizes = polyline_sizes(contents(path("q.svg")));
    EXPECT_EQ(std::count(q_sizes.begin(), q_sizes.end(), 21u), 2);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"again.svg", "pva.txt", "q.p-d", "q.svg", "r.csv",
                                               "r.p-d", "r.params", "run.svg"}));
}

TEST_F(PlotCommand, a_sweep_names_every_varied_value_and_plot_redraws_it) {
    const std::string sweep = "sweep --params " + path("pva.txt") + " --vary Vf=0.01,0.015,0.02 " +
                              "--vary kxy=1,2 --jobs 2 --quiet --summary " + path("s.csv") +
                              " --curves " + path("c.csv") + " --plot " + path("sweep.svg");
    ASSERT_EQ(batch(sweep).status, 0);
    const std::string svg = contents(path("sweep.svg"));
    const std::string texts = svg_text(svg);
    for (const char* label : {"Vf = 0.01, kxy = 1", "Vf = 0.015, kxy = 2", "Vf = 0.02, kxy = 1"}) {
        EXPECT_NE(texts.find(label), std::string::npos) << label << "\n" << texts;
    }
    const auto sizes = polyline_sizes(svg);
    EXPECT_EQ(std::count(sizes.begin(), sizes.end(), 21u), 6);  // one curve per run
    ASSERT_EQ(batch("plot " + path("s.csv") + " " + path("c.csv") + " --quiet --plot " +
                    path("again.svg"))
                  .status,
              0);
    EXPECT_TRUE(contents(path("again.svg")) == svg) << "the SVGs differ";
}

TEST_F(PlotCommand, a_sweep_over_two_names_with_the_matrix_draws_the_map) {
    const std::string sweep = "sweep --params " + path("pva.txt") +
                              " --vary Vf=0.005:0.03:4 --vary kxy=1,2,4 --jobs 2 --quiet" +
                              " --sigma-fc 3 --J-tip 10 --psh-margins 1.3,2.7 --criteria steps" +
                              " --summary " + path("s.csv") + " --plot " + path("map.svg");
    ASSERT_EQ(batch(sweep).status, 0);
    const std::string svg = contents(path("map.svg"));
    const std::string texts = svg_text(svg);
    EXPECT_NE(texts.find("Strain-hardening indices over Vf and kxy"), std::string::npos) << texts;
    // The isoline at 1 of the strength index is labelled where it runs.
    EXPECT_NE(texts.find("\n1\n"), std::string::npos) << texts;
    EXPECT_NE(texts.find("\n1.3\n"), std::string::npos) << texts;
    ASSERT_EQ(batch("plot " + path("s.csv") + " --psh-margins 1.3,2.7 --quiet --plot " +
                    path("again.svg"))
                  .status,
              0);
    EXPECT_TRUE(contents(path("again.svg")) == svg) << "the SVGs differ";
}

TEST_F(PlotCommand, a_mix_draws_the_sum_and_each_type) {
    write("steel.txt", "Vf=0.01\nLf=30\nmodel=function-lb\nA=40\nB=0.1\nC=0.05\nD=0.3\n");
    write("pva-fiber.txt", "Vf=0.02\nAf=0.0012\nLf=12\nsigma_fu=1600\nPmax=1.2\n");
    const Outcome o =
        batch("mix --fiber " + path("pva-fiber.txt") + " --fiber " + path("steel.txt") +
              " division=5 --quiet --csv " + path("m.csv") + " --plot " + path("mix.svg"));
    ASSERT_EQ(o.status, 0) << o.output;
    const std::string svg = contents(path("mix.svg"));
    for (const char* label : {"Mix", "Fiber 1", "Fiber 2", "Mix of 2 fiber types"}) {
        EXPECT_NE(svg_text(svg).find(label), std::string::npos) << label;
    }
    ASSERT_EQ(batch("plot " + path("m.csv") + " --quiet --plot " + path("again.svg")).status, 0);
    EXPECT_TRUE(contents(path("again.svg")) == svg) << "the SVGs differ";
}

TEST_F(PlotCommand, png_and_pdf_come_at_the_asked_size) {
    ASSERT_EQ(batch("-o " + path("r.p-d") + " --params " + path("pva.txt") + " --quiet --plot " +
                    path("law.png") + " --plot-size 100x60 --plot-dpi 200")
                  .status,
              0);
    const std::string png = contents(path("law.png"));
    ASSERT_GT(png.size(), 33u);
    // IHDR: width and height, big-endian, after the signature and its header.
    const auto word = [&](std::size_t at) {
        return (static_cast<unsigned char>(png[at]) << 24) |
               (static_cast<unsigned char>(png[at + 1]) << 16) |
               (static_cast<unsigned char>(png[at + 2]) << 8) |
               static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(word(16), 787u);  // 100 mm at 200 dpi
    EXPECT_EQ(word(20), 472u);  // 60 mm
    const std::size_t phys = png.find("pHYs");
    ASSERT_NE(phys, std::string::npos);
    EXPECT_EQ(word(phys + 4), 7874u);  // dots per metre
    ASSERT_EQ(batch("-o " + path("r.p-d") + " --params " + path("pva.txt") + " --quiet --plot " +
                    path("law.pdf"))
                  .status,
              0);
    const std::string pdf = contents(path("law.pdf"));
    EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
    std::smatch box;
    ASSERT_TRUE(std::regex_search(pdf, box, std::regex("/MediaBox \\[0 0 ([\\d.]+) ([\\d.]+)\\]")));
    EXPECT_NEAR(std::stod(box[1]), 90 * 72 / 25.4, 0.5);
    EXPECT_NEAR(std::stod(box[2]), 100 * 72 / 25.4, 0.5);
}

TEST_F(PlotCommand, refusals_and_failures_keep_what_was_computed) {
    const std::string run = "-o " + path("r.p-d") + " --params " + path("pva.txt") + " --quiet";
    struct Case {
        std::string options, message;
    };
    for (const Case& c : std::vector<Case>{
             {" --plot " + path("law.gif"), "must end in .png, .svg or .pdf"},
             {" --plot-dpi 300", "--plot-dpi needs --plot"},
             {" --plot " + path("a.png") + " --plot-dpi 20", "--plot-dpi must be at least 50"},
             {" --plot " + path("a.png") + " --plot-size 90", "--plot-size must be WxH"},
             {" --csv " + path("a.svg") + " --plot " + path("a.svg"), "a.svg"}}) {
        const Outcome o = batch(run + c.options);
        EXPECT_EQ(o.status, 2) << c.options;
        EXPECT_NE(o.output.find(c.message), std::string::npos) << o.output;
        EXPECT_FALSE(fs::exists(path("r.p-d"))) << c.options;
    }
    // A figure that cannot be written: the run's files stay, status 3.
    const Outcome o = batch(run + " --csv " + path("r.csv") + " --plot " + path("no/law.svg"));
    EXPECT_EQ(o.status, 3) << o.output;
    EXPECT_NE(o.output.find("the figure " + path("no/law.svg") + " was not drawn"),
              std::string::npos)
        << o.output;
    EXPECT_EQ(csv_rows(contents(path("r.csv"))).size(), 22u);
    EXPECT_TRUE(fs::exists(path("r.p-d")));

    // plot itself: a file no command writes, and files of no figure.
    write("other.csv", "a,b\n1,2\n");
    Outcome p = batch("plot " + path("other.csv") + " --plot " + path("x.svg"));
    EXPECT_EQ(p.status, 2);
    EXPECT_NE(p.output.find("other.csv: its header is none of a file the commands write"),
              std::string::npos)
        << p.output;
    p = batch("plot " + path("r.csv") + " --kind map --plot " + path("x.svg"));
    EXPECT_EQ(p.status, 2);
    EXPECT_NE(p.output.find("needs a sweep's --summary"), std::string::npos) << p.output;
    EXPECT_FALSE(fs::exists(path("x.svg")));
}

}  // namespace
