// The run's passwords masked in the processor's answers as the console and
// the log show them: whole, in both of their forms, wherever the reads cut
// the answer.
#include <gtest/gtest.h>

#include <string>

#include "records/run_context.h"
#include "records/run_secrets.h"

namespace {

// The answer shown in two pieces cut at `cut`, then what was held back.
std::string shown_cut_at(const RunContext& run, const std::string& answer, size_t cut)
{
    EchoMask echo;
    std::string shown = echo.shown(run, std::string_view(answer).substr(0, cut));
    shown += echo.shown(run, std::string_view(answer).substr(cut));
    return shown + echo.rest();
}

TEST(RunSecrets, AnswerCutAnywhereShowsEachFormMaskedWhole)
{
    RunContext run;
    note_run_secret(run, "pw\"<1");
    note_run_secret(run, "pw");  // too short to mask: it would mask ordinary words
    const std::string answer = "<R MESSAGE='pw&quot;&lt;1 or pw\"<1?'/>pw";
    const std::string masked = "<R MESSAGE='******** or ********?'/>pw";
    EXPECT_EQ(mask_run_secrets(run, answer), masked);
    for (size_t cut = 0; cut <= answer.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        EXPECT_EQ(shown_cut_at(run, answer, cut), masked);
    }
}

// Held back is only what may begin a secret, and only until the next piece
// or the end: an answer that ends with one shows it as it is.
TEST(RunSecrets, HoldsBackOnlyTheStartOfASecret)
{
    RunContext run;
    note_run_secret(run, "secret");
    EchoMask echo;
    EXPECT_EQ(echo.shown(run, "a sec"), "a ");
    EXPECT_EQ(echo.shown(run, "ond"), "second");
    EXPECT_EQ(echo.shown(run, " secre"), " ");
    EXPECT_EQ(echo.rest(), "secre");
    EXPECT_EQ(echo.rest(), "");
}

// A secret that holds another is masked whole, whichever came first.
TEST(RunSecrets, LongerSecretIsMaskedWhole)
{
    RunContext run;
    note_run_secret(run, "abc");
    note_run_secret(run, "abcdef");
    EXPECT_EQ(mask_run_secrets(run, "abcdef abc"), "******** ********");
}

}  // namespace
