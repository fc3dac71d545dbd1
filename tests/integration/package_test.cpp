// The Debian package as a user gets it: CPack makes it from this build tree, lintian reads it, and
// unpacked, its render tool renders through its plug-in and Ardour's scanner finds that plug-in.
#include <gtest/gtest.h>

#include "ardour_tools.h"

namespace {

const std::string kDpkgDeb = "/usr/bin/dpkg-deb";

TEST(DebianPackage, PassesLintianAndRunsWhereItUnpacks) {
  ScratchDirectory scratch;
  CommandResult made = runCommand({FADECREST_CPACK_PATH, "-G", "DEB", "-B", scratch.path(), "--config",
                                   std::string(FADECREST_BUILD_DIR) + "/CPackConfig.cmake"});
  const std::filesystem::path package = scratch / "fadecrest_1.0.0_amd64.deb";
  ASSERT_TRUE(std::filesystem::exists(package)) << describe("making the package", made);

  EXPECT_EQ(runCommand({kDpkgDeb, "--field", package, "Package", "Version", "Architecture", "Section"}).out,
            "Package: fadecrest\nVersion: 1.0.0\nArchitecture: amd64\nSection: sound\n");
  // Read from the binaries: what the plug-in and the tool link, with the versions they need.
  const std::string depends = runCommand({kDpkgDeb, "--field", package, "Depends"}).out;
  for (const char* library :
       {"libsndfile1 (", "libpng16-16 (", "libfreetype6 (", "libfontconfig1 (", "libx11-6"})
    EXPECT_NE(depends.find(library), std::string::npos) << library << " is not in " << depends;
  const std::string contents = runCommand({kDpkgDeb, "--contents", package}).out;
  for (const char* file :
       {" ./usr/lib/vst/fadecrest.so\n", " ./usr/bin/fadecrest-render\n", "/doc/fadecrest/copyright\n",
        "/doc/fadecrest/changelog.gz\n", "/doc/fadecrest/README.md\n", "/man1/fadecrest-render.1.gz\n",
        "/completions/fadecrest-render\n"})
    EXPECT_NE(contents.find(file), std::string::npos) << file << " is not in\n" << contents;

  // Informational tags are shown in the log.
  CommandResult lint =
      runCommand({"/usr/bin/lintian", "--display-info", "--fail-on", "error,warning", package});
  EXPECT_EQ(lint.exitCode, 0) << describe("lintian", lint);
  std::cout << lint.out;

  const std::filesystem::path root = scratch / "root";
  ASSERT_EQ(runCommand({kDpkgDeb, "-x", package, root}).exitCode, 0);
  EXPECT_NE(contentsOf(root / "usr/share/doc/fadecrest/copyright")
                .find("2026 Corvenna\nLicense: Expat\n Permission"),
            std::string::npos);
  const std::string tool = root / "usr/bin/fadecrest-render";
  EXPECT_NE(runCommand({tool, "--version"}).out.find("Corvenna. Released under the MIT licence"),
            std::string::npos);

  // The unpacked tool finds the plug-in where the package put it, the only one it can find, and
  // renders what the tested build renders.
  runCommand({"/usr/bin/sox", "-n", "-r", "8000", "-c", "2", "in.wav", "synth", "3", "sine", "300"},
             scratch.path());
  CommandResult packaged =
      runCommand({tool, "in.wav", "-o", "packaged.wav", "--program", "5"}, scratch.path());
  ASSERT_EQ(packaged.exitCode, 0) << describe("rendering with the unpacked tool", packaged);
  runCommand({FADECREST_RENDER_PATH, "in.wav", "-o", "built.wav", "--program", "5"}, scratch.path());
  EXPECT_EQ(contentsOf(scratch / "packaged.wav"), contentsOf(scratch / "built.wav"));
  EXPECT_NE(contentsOf(scratch / "packaged.wav"), contentsOf(scratch / "in.wav"));

  scanAsArdourDoes(root / "usr/lib/vst/fadecrest.so",
                   ardourEnvironment(scratch.path(), root / "usr/lib/vst"));
}

}  // namespace
