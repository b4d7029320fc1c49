#include <gtest/gtest.h>

#include "trailscan/log/file_panel.h"

namespace {

using trailscan::log::panelTexts;

TEST(FilePanel, ReadsDateAndKindFromTheEndOfTheName) {
    const auto email = panelTexts(u"/var/log/proxy/W3X3010214.log");
    EXPECT_EQ(email.shownName, u"X3010214.log");
    EXPECT_EQ(email.date, u"2001/02/14");
    EXPECT_EQ(email.kind, u"Email");

    const auto sites = panelTexts(u"C:\\logs\\X5010214.log");
    EXPECT_EQ(sites.shownName, u"X5010214.log");
    EXPECT_EQ(sites.date, u"2001/02/14");
    EXPECT_EQ(sites.kind, u"Sites");

    // A compressed log keeps the name it had; only a last ".gz" is taken off.
    const auto compressed = panelTexts(u"/var/log/proxy/X3010214.log.GZ");
    EXPECT_EQ(compressed.shownName, u"X3010214.log");
    EXPECT_EQ(compressed.date, u"2001/02/14");
    EXPECT_EQ(compressed.kind, u"Email");
    EXPECT_EQ(panelTexts(u"X3010214.gzip").shownName, u"3010214.gzip");
}

TEST(FilePanel, ShortNamesUseWhateverCharactersStandThere) {
    // 11 characters: the whole name is shown; its first character decides the kind.
    const auto eleven = panelTexts(u"3abcdefghij");
    EXPECT_EQ(eleven.shownName, u"3abcdefghij");
    EXPECT_EQ(eleven.date, u"20ab/cd/ef");
    EXPECT_EQ(eleven.kind, u"Email");

    const auto five = panelTexts(u"a.log");
    EXPECT_EQ(five.shownName, u"a.log");
    EXPECT_EQ(five.date, u"20a./lo/g");
    EXPECT_EQ(five.kind, u"Sites");

    const auto three = panelTexts(u"abc");
    EXPECT_EQ(three.date, u"20ab/c/");
    EXPECT_EQ(panelTexts(u"").date, u"20//");
}

}  // namespace
