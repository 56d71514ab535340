// XScreenSaver's settings page and the manual page's flag list against the
// settings table: a flag, range or default changed in one and not the other
// fails here.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "settings/settings_flags.h"
#include "settings/settings_table.h"
#include "tests/support/read_all.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The XML element (from its '<' to its '/>') that holds `part`, or "".
std::string ElementWith(const std::string& xml, const std::string& part) {
    const size_t at = xml.find(part);
    if (at == std::string::npos) return "";
    const size_t open = xml.rfind('<', at);
    return xml.substr(open, xml.find("/>", at) + 2 - open);
}

std::string Attribute(const std::string& element, const std::string& name) {
    std::smatch m;
    return std::regex_search(element, m, std::regex("\\s" + name + "=\"([^\"]*)\"")) ? m[1].str() : "";
}

}  // namespace

TEST(SettingsPages, XScreenSaverPageOffersEachFlagAsTheTableSays) {
    const std::string xml = ReadSourceFile("tools/install/nereval.xml");
    ASSERT_TRUE(Has(xml, "<screensaver")) << "tools/install/nereval.xml not found";
    for (const SettingRow& row : kSettingRows) {
        if (!row.flag) continue;
        const std::string flag = std::string("--") + row.flag;
        SCOPED_TRACE(flag);
        switch (row.page) {
            case SettingPage::Slider: {
                const std::string e = ElementWith(xml, "arg=\"" + flag + " %\"");
                ASSERT_FALSE(e.empty());
                EXPECT_EQ(Attribute(e, "low"), std::to_string(row.lo));
                EXPECT_EQ(Attribute(e, "high"), std::to_string(row.hi));
                EXPECT_EQ(Attribute(e, "default"), std::to_string(row.byDefault));
                break;
            }
            case SettingPage::CheckSets: EXPECT_TRUE(Has(xml, "arg-set=\"" + flag + "\"")); break;
            case SettingPage::CheckClears:
                EXPECT_TRUE(Has(xml, "arg-unset=\"--no-" + std::string(row.flag) + "\""));
                break;
            case SettingPage::Select:
                for (const SettingWord& w : row.words) {
                    if (!w.word) break;
                    // The default is the option without arg-set.
                    EXPECT_EQ(Has(xml, "arg-set=\"" + flag + " " + w.word + "\""), w.word != SettingFlagDefault(row))
                        << w.word;
                }
                break;
            case SettingPage::MusicFile:
                EXPECT_TRUE(Has(xml, "arg=\"" + flag + " %\""));
                EXPECT_TRUE(Has(xml, "arg-set=\"" + flag + " " + kBuiltInTune + "\""));
                EXPECT_TRUE(Has(xml, "arg-set=\"--no-" + std::string(row.flag) + "\""));
                break;
            case SettingPage::None:
                EXPECT_FALSE(Has(xml, "\"" + flag + " ") || Has(xml, "\"" + flag + "\""));
                break;
        }
    }
    // Nothing on the page that the table does not have.
    const std::regex arg("arg(-set|-unset)?=\"--([a-z-]+)");
    for (std::sregex_iterator m(xml.begin(), xml.end(), arg), end; m != end; ++m) {
        const std::string name = (*m)[2];
        EXPECT_TRUE(IsSettingsFlagName(name.c_str()) || name == "root" || name == "delay") << "--" << name;
    }
}

TEST(SettingsPages, ManualListsEachFlagWithItsArgumentRangeAndDefault) {
    std::string man = ReadSourceFile("tools/install/nereval.6x.in");
    man = std::regex_replace(man, std::regex("\\\\-"), "-");
    const size_t from = man.find(".SH SETTINGS FLAGS");
    ASSERT_NE(from, std::string::npos) << "tools/install/nereval.6x.in has no SETTINGS FLAGS section";
    const std::string section = man.substr(from, man.find("\n.SH ", from + 1) - from);

    // Each entry: ".TP 8\n.B --NAME ...\ntext" up to the next .TP or .PP.
    std::map<std::string, std::pair<std::string, std::string>> entries;  // name → (.B line, text)
    const std::regex entry("\\.TP 8\\n\\.B --([a-z-]+)([^\\n]*)\\n([\\s\\S]*?)(?=\\n\\.TP|\\n\\.PP|$)");
    for (std::sregex_iterator m(section.begin(), section.end(), entry), end; m != end; ++m) {
        entries[(*m)[1]] = {(*m)[2], (*m)[3]};
    }
    for (const auto& [name, body] : entries) EXPECT_TRUE(IsSettingsFlagName(name.c_str())) << "--" << name << " is not a flag";

    for (const SettingRow& row : kSettingRows) {
        if (!row.flag) continue;
        SCOPED_TRACE(std::string("--") + row.flag);
        ASSERT_TRUE(entries.count(row.flag));
        const auto& [line, raw] = entries[row.flag];
        const std::string text = std::regex_replace(raw, std::regex("\\s+"), " ");
        const std::string def = SettingFlagDefault(row);
        if (row.kind == SettingFlag::Number) {
            EXPECT_TRUE(Has(text, std::to_string(row.lo) + "-" + std::to_string(row.hi) + " (" + def + ")")) << text;
        } else {
            EXPECT_TRUE(Has(text, "(" + def + ")") || Has(text, "(" + def + " ")) << text;
        }
        if (row.kind == SettingFlag::Choice || row.kind == SettingFlag::Clock) {
            EXPECT_EQ(line, " " + SettingFlagArgument(row));
        }
        if (row.kind == SettingFlag::Switch) {
            EXPECT_EQ(line, std::string(" | --no-") + row.flag);
        }
    }
}

TEST(SettingsPages, ReadmeTableHasEachValueWithItsDefault) {
    const std::string readme = ReadSourceFile("README.md");
    for (const SettingRow& row : kSettingRows) {
        // "| `name` | flag | meaning | range | default |"
        const std::regex line("\\n\\| `" + std::string(row.name) + "` \\|[^\\n]*\\| ([^|\\n]*) \\|\\n");
        std::smatch m;
        ASSERT_TRUE(std::regex_search(readme, m, line)) << row.name << " has no row in the README's settings table";
        const std::string def = row.field ? std::to_string(row.byDefault) : "`" + std::string(row.text) + "`";
        EXPECT_EQ(m[1].str(), def) << row.name;
    }
}
