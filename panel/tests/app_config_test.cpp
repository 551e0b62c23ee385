// The panel's preferences and language files through the host's slots.

#include "panel/tests/view_fixture.h"

namespace {

using namespace panel_test;
using namespace panel;

class ConfigOnSim : public ViewOnSim {
protected:
    std::string configFile() const { return folder.read("data/config.ini"); }
};

struct LanguageCase {
    QVariant code;
    const char* stored;
};

TEST_F(ConfigOnSim, EntryOneNamesTheLanguageWhenItIsAKnownCode) {
    const LanguageCase cases[] = {
        {25044, "ChineseSimplified"},
        {25208.0, "ChineseTraditional"},
        {"31000", "English"},
        {12345, "English"}, // unknown: the name stays as it was
    };
    for (const LanguageCase& c : cases) {
        SCOPED_TRACE(c.stored);
        host->saveApConfig({0, c.code, 1});
        EXPECT_EQ(host->loadApConfig_lang(), c.stored);
    }
}

TEST_F(ConfigOnSim, TheListIsStoredWithoutFractionsAndReadBackAsNumbers) {
    host->saveApConfig({0, 25208.0, 1.0, 0.5, "red"});
    EXPECT_EQ(configFile(), "[common]\n0=0\n1=25208\n2=1\n3=0.5\n4=red\n"
                            "language=ChineseTraditional\ntotal=5\n");
    EXPECT_EQ(host->loadApConfig(), (QVariantList{0, 25208, 1, "0.5", "red"}));
}

TEST_F(ConfigOnSim, MissingFilesAndEntriesReadAsDefaults) {
    EXPECT_TRUE(host->loadApConfig().isEmpty());
    EXPECT_EQ(host->loadApConfig_lang(), "ChineseSimplified");
    folder.write("data/config.ini", "[common]\ntotal=3\n1=31000\nlanguage=German\n");
    EXPECT_EQ(host->loadApConfig(), (QVariantList{0, 31000, 0}));
    EXPECT_EQ(host->loadApConfig_lang(), "");
}

TEST_F(ConfigOnSim, ResetCopiesTheFactoryPreferences) {
    host->saveApConfig({0, 31000});
    folder.write("data/configD.ini", "[common]\n0=0\n1=25044\ntotal=2\n");
    host->resetApconfig();
    EXPECT_EQ(configFile(), "[common]\n0=0\n1=25044\ntotal=2\n");
    std::filesystem::remove(folder.path() / "data/configD.ini");
    host->resetApconfig();
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "data/config.ini"));
    EXPECT_TRUE(host->loadApConfig().isEmpty());
}

TEST_F(ConfigOnSim, LanguageStringsComeFromTheirCodesFile) {
    folder.write("data/i18n/lang_025044.ini",
                 "[strings]\nname=耳機面板\n1=音量\n2=麥克風\n\n[font]\nfamily=Noto Sans\ntotal=2\n"
                 "\n[msg]\n0=標題\n1=內容\n2=extra\n");
    folder.write("data/i18n/lang_031000.ini", "[font]\nfamily=Arial\ntotal=0\n\n[msg]\n0=T\n1=X\n");
    EXPECT_EQ(host->loadUiStrings(25044), (QStringList{"Noto Sans", "音量", "麥克風"}));
    EXPECT_EQ(zen->windowTitle(), "耳機面板");
    EXPECT_EQ(host->loadUiStrings(25044, "msg", 0, 2), (QStringList{"標題", "內容"}));
    EXPECT_EQ(host->loadUiStrings(31000), QStringList{"Arial"});
    EXPECT_EQ(host->loadUiStrings(31000, "msg", 1, 2), QStringList{"X"});
    // No file: an empty font family, no strings, an empty title.
    EXPECT_EQ(host->loadUiStrings(25208), QStringList{""});
    EXPECT_EQ(zen->windowTitle(), "");
}

} // namespace
