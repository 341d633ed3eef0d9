#include "VeltraneCore/Models/ProjectRepair.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace veltrane;

using Tags = std::vector<std::string>;

TEST(ProjectRepair, TidiesInstrumentTags)
{
    struct Case {
        const char* name;
        Tags stored;
        Tags tidied;
    };
    const std::vector<Case> cases{
        {"trim, drop empty, first spelling wins, sort", {" Drum ", "drum", "", "Bass"}, {"Bass", "Drum"}},
        {"line breaks and Unicode spaces", {"\n\tKeys\u00A0\u3000", "\u2028", "  "}, {"Keys"}},
        {"inner space kept", {"lo fi", "Lo Fi"}, {"lo fi"}},
        {"case-insensitive order", {"pad", "Lead", "ARP", "bass"}, {"ARP", "bass", "Lead", "pad"}},
        {"beyond ASCII letters merge", {"ÄRGER", "ärger", "Ωmega", "ωMEGA"}, {"ÄRGER", "Ωmega"}},
        {"capital sharp s", {"Straße", "STRAẞE", "STRASSE"}, {"STRASSE", "Straße"}},
        {"bytes that are not UTF-8 kept", {" \xFF ", "\xC3", "\xC3"}, {"\xC3", "\xFF"}},
        {"everything empty", {"", " ", "\r\n"}, {}},
    };
    for (const auto& [name, stored, tidied] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(normalizedTags(stored), tidied);
    }
}

TEST(ProjectRepair, TidiesTagsOfEveryInstrumentAndKeepsAbsentOnes)
{
    Project project;
    project.instruments[0].tags = Tags{" Drum ", "drum", "", "Bass"};
    project.instruments[1].tags = Tags{""};
    project.normalize();
    EXPECT_EQ(project.instruments[0].tags, (Tags{"Bass", "Drum"}));
    EXPECT_EQ(project.instruments[1].tags, Tags{}) << "an emptied list stays present";
    EXPECT_EQ(project.instruments[2].tags, std::nullopt);
}
