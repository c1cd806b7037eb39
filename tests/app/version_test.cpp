// --version of every program and subcommand, and the version that the files
// a command writes record.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/text.h"

namespace {

using namespace quarnel_test;
using Versions = BatchTest;

const Program batch{QUARNEL_BATCH};
const std::string version = QUARNEL_PROJECT_VERSION;

bool contains(const std::string& text, const std::string& part) {
    return count_of(text, part) > 0;
}

// The first line names the program as typed and the version, as help2man
// reads it; the rest says how to cite it. Nothing else runs.
void expect_version_text(const Program& program, const std::vector<std::string>& args,
                         const std::string& name) {
    const Outcome o = program.apart(args);
    SCOPED_TRACE(name);
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.output.substr(0, o.output.find('\n') + 1), name + " " + version + "\n") << o.output;
    EXPECT_TRUE(contains(o.output, "MIT licence")) << o.output;
    EXPECT_TRUE(contains(o.output, "Quarnel, version " + version + ". See CITATION.cff.\n"))
        << o.output;
}

TEST(Version, every_command_names_itself_its_version_and_how_to_cite_it) {
    expect_version_text(batch, {"--version"}, "quarnel-batch");
    for (const std::string sub : {"sweep", "sample", "mix", "fit", "plot"}) {
        expect_version_text(batch, {sub, "--version"}, "quarnel-batch " + sub);
        const Outcome help = batch.apart({sub, "--help"});
        EXPECT_TRUE(contains(help.output, "--version")) << sub << ": " << help.output;
    }
    expect_version_text(Program{QUARNEL_BATCH_FIT}, {"--version"}, "quarnel-batch fit");
    // --version wins over inputs that would be refused, and no run starts.
    expect_version_text(batch, {"Lf=-1", "--version"}, "quarnel-batch");
}

#ifdef QUARNEL_WINDOW
// Without any display to open: the window's program must answer before it
// starts Qt, which would otherwise end it for want of one.
TEST(Version, the_window_answers_without_a_display) {
    ::unsetenv("DISPLAY");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const Program window{QUARNEL_WINDOW};
    expect_version_text(window, {"--version"}, "quarnel");
    const Outcome help = window.apart({"--help"});
    EXPECT_EQ(help.status, 0) << help.err;
    EXPECT_TRUE(contains(help.output, "--version")) << help.output;
}
#endif

// A parameter file names the version that wrote it in a comment line, which
// reads back to the same law; a file of an older version, without it, too.
TEST_F(Versions, parameter_files_record_the_writer_and_read_back) {
    const std::string at = " --quiet --at \"2026-12-08 09:00:00\" division=3 Lf=20 ";
    ASSERT_EQ(batch("-o " + path("one.p-d") + " --save-params " + path("one.params") + at).status,
              0);
    const std::string saved = contents(path("one.params"));
    EXPECT_EQ(saved.rfind("# Quarnel " + version + "\nAm=", 0), 0u) << saved;
    EXPECT_TRUE(contains(saved, "\nLf=20\n")) << saved;

    write("old.params", saved.substr(saved.find('\n') + 1));
    for (const std::string file : {"one.params", "old.params"}) {
        const Outcome o = batch("-o " + path(file + ".p-d") + " --params " + path(file) + at);
        ASSERT_EQ(o.status, 0) << file << ": " << o.output;
        EXPECT_EQ(contents(path(file + ".p-d")), contents(path("one.p-d"))) << file;
    }

    const Outcome sweep = batch("sweep --quiet --vary Lf=20,30 division=3 --files " + path("runs") +
                                " --summary " + path("runs.csv"));
    ASSERT_EQ(sweep.status, 0) << sweep.output;
    EXPECT_EQ(contents(path("runs/run-00002.params")).rfind("# Quarnel " + version + "\n", 0), 0u);
    // The classic result file and the CSV stay as they were: no version in them.
    EXPECT_FALSE(contains(contents(path("one.p-d")), version));
    const std::string csv = contents(path("runs.csv"));
    EXPECT_EQ(csv.rfind("run,Lf,status,", 0), 0u) << csv;
    EXPECT_FALSE(contains(csv, "Quarnel")) << csv;
}

}  // namespace
