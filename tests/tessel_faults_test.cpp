// Tessel when the file system fails it: calls made to fail by a preloaded shim,
// and a real disk that is full. Every failure must end with its message and
// status, the input and any earlier output as they were, and no stray file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "input_classes.h"
#include "known_runs.h"
#include "skin_builder.h"
#include "small_disk.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::folderContents;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;
using testsupport::writeFile;

const std::string kTotalsOfNothing = "\nTotal compression: 0->0 bytes\n";
const std::string kCannotWrite = "ERR: cannot write output file!\n";

RunResult tessel(const std::vector<std::string>& paths,
                 const std::vector<std::string>& faults = {}) {
    std::vector<std::string> arguments = {TESSEL_PATH};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    std::vector<std::string> environment;
    if (!faults.empty()) {
        // A sanitized build must accept the shim loaded before its runtime.
        environment = {"LD_PRELOAD=" FAULT_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0"};
        environment.insert(environment.end(), faults.begin(), faults.end());
    }
    return testsupport::runProgram(arguments, "", environment);
}

struct Fault {
    const char* name;
    std::vector<std::string> settings;
    std::string out;  // all that Tessel prints; a run that prints less than a good run fails
};

TEST(TesselFaults, FailingFileCallsKeepEveryFileAsItWas) {
    const Bytes input = readFile(SAMPLE_SKIN_PATH);
    const testsupport::KnownRun& expected = testsupport::knownRun("sample-skin.prc");
    const std::string cannotWrite = expected.out + kCannotWrite;
    const std::string cannotRead = "ERR: cannot read source file!\n" + kTotalsOfNothing;
    const std::string announced = "File has 13 resrouces\n";
    const std::vector<Fault> faults = {
        {"every write stores only a few bytes", {"FAULT_WRITE_LIMIT=7"}, expected.out},
        {"the first write fails", {"FAULT_WRITE_FROM=1"}, cannotWrite},
        {"a later write fails", {"FAULT_WRITE_LIMIT=1000", "FAULT_WRITE_FROM=5"}, cannotWrite},
        {"the data cannot be flushed to the disk", {"FAULT_FSYNC=1"}, cannotWrite},
        {"closing the written file fails", {"FAULT_CLOSE_WRITTEN=1"}, cannotWrite},
        {"the finished file cannot be renamed", {"FAULT_RENAME=1"}, cannotWrite},
        {"every read delivers only a few bytes", {"FAULT_READ_LIMIT=5"}, expected.out},
        {"the read fails", {"FAULT_READ_FROM=1"}, cannotRead},
        {"a later read fails", {"FAULT_READ_LIMIT=1000", "FAULT_READ_FROM=3"}, cannotRead},
        {"the input shrank into its directory",
         {"FAULT_READ_END_AFTER=100"},
         announced + "ERR: resource directory runs past the end of the source file!\n" +
             kTotalsOfNothing},
        {"the input shrank into its data",
         {"FAULT_READ_END_AFTER=1000"},
         announced + "ERR: resource data lies past the end of the source file!\n" +
             kTotalsOfNothing},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        const bool fails = fault.out != expected.out;
        TempFolder folder;
        writeFile(folder / "in.prc", input);
        const Bytes earlierOutput(123, 0x42);
        writeFile(folder / "out.prc", earlierOutput);

        const RunResult twoPaths = tessel({folder / "in.prc", folder / "out.prc"}, fault.settings);
        EXPECT_EQ(twoPaths.out, fault.out);
        EXPECT_EQ(twoPaths.exitStatus, fails ? 1 : 0);
        if (fails) {
            EXPECT_EQ(readFile(folder / "out.prc"), earlierOutput);
        } else {
            EXPECT_EQ(testsupport::sha256Of(folder / "out.prc"), expected.sha256);
        }

        const RunResult onePath = tessel({folder / "in.prc"}, fault.settings);
        EXPECT_EQ(onePath.exitStatus, fails ? 1 : 0);
        if (fails) {
            EXPECT_EQ(readFile(folder / "in.prc"), input);
        } else {
            EXPECT_EQ(testsupport::sha256Of(folder / "in.prc"), expected.sha256);
        }
        EXPECT_EQ(folderContents(folder.path), (std::vector<std::string>{"in.prc", "out.prc"}));
    }
}

TEST(TesselFaults, AFullDiskKeepsTheInputAndTheEarlierOutput) {
    TempFolder folder;
    const testsupport::SmallDisk disk(folder / "disk");
    REQUIRE_SMALL_DISK(disk);
    // Random bytes do not compress: the new file needs as much room as the old.
    skinbuilder::DatabaseLayout layout;
    layout.resources.push_back({"abmp", 1000, inputclasses::randomBytes(100000, 7)});
    const Bytes input = skinbuilder::buildDatabase(layout);
    writeFile(folder / "in.prc", input);
    // What the same run prints and writes where nothing fails.
    const RunResult reference = tessel({folder / "in.prc", folder / "reference.prc"});
    ASSERT_EQ(reference.exitStatus, 0);
    const Bytes referenceFile = readFile(folder / "reference.prc");
    const fs::path inPlace = folder / "disk" / "skin.prc";
    const fs::path earlierOutput = folder / "disk" / "out.prc";
    writeFile(inPlace, input);
    writeFile(earlierOutput, Bytes(123, 0x42));
    disk.fill();

    const RunResult onePath = tessel({inPlace});
    EXPECT_EQ(onePath.out, reference.out + kCannotWrite);
    EXPECT_EQ(onePath.exitStatus, 1);
    EXPECT_EQ(readFile(inPlace), input);

    const RunResult twoPaths = tessel({folder / "in.prc", earlierOutput});
    EXPECT_EQ(twoPaths.out, reference.out + kCannotWrite);
    EXPECT_EQ(twoPaths.exitStatus, 1);
    EXPECT_EQ(readFile(earlierOutput), Bytes(123, 0x42));
    EXPECT_EQ(folderContents(folder / "disk"),
              (std::vector<std::string>{"filler", "out.prc", "skin.prc"}));

    // With room again, the same run succeeds: the disk alone made it fail.
    disk.makeRoom();
    EXPECT_EQ(tessel({inPlace}).exitStatus, 0);
    EXPECT_EQ(readFile(inPlace), referenceFile);
}

}  // namespace

namespace {

TEST(TesselFaults, AReadOnlyDiskRefusesTheOutputBeforeAnythingIsWritten) {
    TempFolder folder;
    const testsupport::SmallDisk disk(folder / "disk");
    REQUIRE_SMALL_DISK(disk);
    skinbuilder::DatabaseLayout layout;
    layout.resources.push_back({"abmp", 1000, Bytes(20000, 0x5A)});
    const Bytes input = skinbuilder::buildDatabase(layout);
    writeFile(folder / "in.prc", input);
    const RunResult reference = tessel({folder / "in.prc", folder / "reference.prc"});
    ASSERT_EQ(reference.exitStatus, 0);
    const std::string statistics = reference.out;
    writeFile(folder / "disk" / "skin.prc", input);
    writeFile(folder / "disk" / "out.prc", Bytes(123, 0x42));
    ASSERT_TRUE(disk.makeReadOnly());

    for (const std::vector<std::string>& paths :
         {std::vector<std::string>{folder / "disk" / "skin.prc"},
          {folder / "in.prc", folder / "disk" / "out.prc"},
          {folder / "in.prc", folder / "disk" / "new.prc"}}) {
        SCOPED_TRACE(paths.back());
        const RunResult run = tessel(paths);
        EXPECT_EQ(run.out, statistics + "ERR: cannot open output file!\n");
        EXPECT_EQ(run.exitStatus, 1);
    }
    EXPECT_EQ(readFile(folder / "disk" / "skin.prc"), input);
    EXPECT_EQ(readFile(folder / "disk" / "out.prc"), Bytes(123, 0x42));
    EXPECT_EQ(folderContents(folder / "disk"), (std::vector<std::string>{"out.prc", "skin.prc"}));
}

}  // namespace

namespace {

std::vector<std::string> hiddenFiles(const fs::path& folder) {
    std::vector<std::string> hidden;
    for (const std::string& name : folderContents(folder)) {
        if (name.front() == '.') {
            hidden.push_back(name);
        }
    }
    return hidden;
}

// What cp and Tessel.exe refuse: a file or folder the user may not write to.
// As root nothing is refused, so the runs are made as another user.
TEST(TesselFaults, WriteProtectionIsKeptForAUserWhoIsNotRoot) {
    const Bytes input = readFile(SAMPLE_SKIN_PATH);
    const std::string refused =
        testsupport::knownRun("sample-skin.prc").out + "ERR: cannot open output file!\n";
    struct Case {
        const char* name;
        std::vector<std::string> paths;  // in the folder
        const char* readOnly;            // a file made read-only, or "." for the folder
    };
    const std::vector<Case> cases = {
        {"two paths, a read-only output", {"in.prc", "out.prc"}, "out.prc"},
        {"one path, a read-only input", {"in.prc"}, "in.prc"},
        {"a new output in a read-only folder", {"in.prc", "new.prc"}, "."},
        {"an existing output in a read-only folder", {"in.prc", "out.prc"}, "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        writeFile(folder / "in.prc", input);
        writeFile(folder / "out.prc", Bytes(123, 0x42));
        ASSERT_TRUE(testsupport::giveToUnprivilegedUser(folder.path));
        fs::permissions(folder / c.readOnly, fs::perms::owner_write | fs::perms::group_write,
                        fs::perm_options::remove);
        std::vector<std::string> arguments = {TESSEL_PATH};
        for (const std::string& path : c.paths) {
            arguments.push_back(folder / path);
        }
        const RunResult run = testsupport::runProgram(testsupport::asUnprivilegedUser(arguments));
        EXPECT_EQ(run.out, refused);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(readFile(folder / "in.prc"), input);
        EXPECT_EQ(readFile(folder / "out.prc"), Bytes(123, 0x42));
        EXPECT_EQ(folderContents(folder.path), (std::vector<std::string>{"in.prc", "out.prc"}));
        fs::permissions(folder.path, fs::perms::owner_all, fs::perm_options::add);
    }
}

// A signal that ends Tessel while the temporary file is being written: the
// process still dies of it, and the temporary file goes with it.
TEST(TesselFaults, ASignalWhileWritingLeavesTheOldFileAndNoTemporaryFile) {
    const Bytes input = readFile(SAMPLE_SKIN_PATH);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        for (const bool onePath : {false, true}) {
            SCOPED_TRACE(std::string(strsignal(signal)) + (onePath ? ", one path" : ", two paths"));
            TempFolder folder;
            writeFile(folder / "in.prc", input);
            writeFile(folder / "out.prc", Bytes(123, 0x42));
            std::vector<std::string> arguments = {TESSEL_PATH, folder / "in.prc"};
            if (!onePath) {
                arguments.push_back(folder / "out.prc");
            }
            bool seen = false;
            const RunResult run = testsupport::runProgram(
                arguments, "",
                {"LD_PRELOAD=" FAULT_SHIM_PATH, "ASAN_OPTIONS=verify_asan_link_order=0",
                 "FAULT_WRITE_BLOCK_FROM=1"},
                [&](pid_t child) {
                    for (int wait = 0; wait < 500 && !seen; ++wait) {
                        seen = !hiddenFiles(folder.path).empty();
                        ::usleep(10000);
                    }
                    ::kill(child, signal);
                });
            EXPECT_TRUE(seen) << "no temporary file while the write was held";
            EXPECT_EQ(run.endingSignal, signal);
            EXPECT_EQ(readFile(folder / "in.prc"), input);
            EXPECT_EQ(readFile(folder / "out.prc"), Bytes(123, 0x42));
            EXPECT_EQ(folderContents(folder.path), (std::vector<std::string>{"in.prc", "out.prc"}));
        }
    }
}

// Root compressing a user's skin in place, or writing over a user's file,
// leaves the files that user's, as cp does.
TEST(TesselFaults, ReplacedFilesKeepTheirOwnerWhenRootWritesThem) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can write a file that keeps another user as its owner";
    }
    TempFolder folder;
    writeFile(folder / "in.prc", readFile(SAMPLE_SKIN_PATH));
    writeFile(folder / "out.prc", Bytes(123, 0x42));
    ASSERT_TRUE(testsupport::giveToUnprivilegedUser(folder.path));
    ASSERT_EQ(tessel({folder / "in.prc", folder / "out.prc"}).exitStatus, 0);
    ASSERT_EQ(tessel({folder / "in.prc"}).exitStatus, 0);
    ASSERT_EQ(tessel({folder / "in.prc", folder / "new.prc"}).exitStatus, 0);
    for (const char* name : {"in.prc", "out.prc", "new.prc"}) {
        struct stat info {};
        ASSERT_EQ(::stat((folder / name).c_str(), &info), 0);
        const bool made = std::string(name) == "new.prc";
        EXPECT_EQ(info.st_uid, made ? 0u : 65534u) << name;
        EXPECT_EQ(info.st_gid, made ? 0u : 65534u) << name;
    }
}

}  // namespace
