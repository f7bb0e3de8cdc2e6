#include "OpsTestSupport.h"

#include "ops/JoinScriptText.h"

using namespace ops_tests;

// Lines of the two texts, byte for byte, where running them here can't tell: a quote of the name,
// plain or typographic, doubled inside PowerShell's single quotes (past the parts copy /b is
// spelled out for); no name taken for an option; the script at work in its own folder, which
// pushd maps to a drive when it is a network folder.
TEST(JoinScriptTextTest, TheTextsHoldTheseLines) {
    const char* const lines[] = {
        "(Join-Path $PWD '-Bob''s \xE2\x80\x99\xE2\x80\x99.avi')",
        " On Linux: sha256sum -c -- '-Bob'\\''s \xE2\x80\x99.avi.sha256'\r\n",
        " On macOS: shasum -a 256 -c -- '-Bob'\\''s \xE2\x80\x99.avi.sha256'\r\n",
        "\r\ncertutil -hashfile \".\\%name%\" SHA256 >\"%hashes%\" 2>nul\r\n",
        "\r\npushd \"%~dp0\"\r\n",
        "\r\n:end\r\npopd\r\n"};
    const Sha256Digest whole = {};
    DynArray<char> script, text;
    ASSERT_TRUE(BuildJoinScript(L"-Bob's \u2019.avi", 11, &whole, script) &&
                BuildJoinInstructions(L"-Bob's \u2019.avi", 11, &whole, text));
    const std::string all = std::string(script.Items(), static_cast<size_t>(script.Count())) +
                            std::string(text.Items(), static_cast<size_t>(text.Count()));
    for (const char* line : lines)
        EXPECT_TRUE(Contains(all, line)) << line;
}
