// Whatever a broken file holds (megabytes of white space, a gigantic number or string, bytes that are no
// UTF-8), the message that reaches the user is a short line of valid UTF-8 that says where the fault is.

#include "ProjectFileTestSupport.hpp"

#include "VeltraneCore/FileFormat/ProjectFile.hpp"
#include "VeltraneCore/FileFormat/TextExcerpt.hpp"
#include "VeltraneCore/Text/Utf8.hpp"

#include <gtest/gtest.h>

#include <random>

using namespace veltrane;
using namespace veltrane::testing;

namespace {

std::string errorOf(std::string_view bytes)
{
    try {
        decodeProject(bytes);
    } catch (const ProjectError& error) {
        return error.what();
    }
    return {};
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t position = 0; position < text.size();) {
        if (decodeUtf8(text, position) > 0x10FFFF) return false;
    }
    return true;
}

std::string randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(generator());
    return bytes;
}

} // namespace

TEST(ProjectFileBrokenText, TheErrorStaysAShortLineOfUtf8WhateverTheInput)
{
    const std::size_t big = 8 << 20;
    struct Input { const char* what; std::string bytes; };
    const Input inputs[] = {
        {"newlines, then a bad byte", std::string(big, '\n') + "\x01"},
        {"spaces, then the end", std::string(big, ' ')},
        {"a long line, then a bad byte", "{\"name\": " + std::string(big, ' ') + "@}"},
        {"a string with a raw line break at its end", "{\"name\": \"" + std::string(big, 'a') + "\n\"}"},
        {"a string that never ends", "{\"name\": \"" + std::string(big, 'a')},
        {"invalid UTF-8 in a string", "{\"name\": \"" + std::string(100, 'a') + "\xC3\x28" + std::string(100, 'b') + "\"}"},
        {"a long number", "{\"bpm\": " + std::string(big, '7') + "}"},
        {"a long number of more than a Double", "{\"bpm\": 1" + std::string(2000, '0') + "}"},
        {"a long number alone", std::string(big, '1')},
        {"a long fraction", "{\"bpm\": 0." + std::string(big, '0') + "1}"},
        {"a long identifier", R"({"version": 1, "name": "x", "bpm": 120, "rowsPerBeat": 4, "patterns": [{"id": ")" +
                                  std::string(big, 'F') + R"(", "name": "p", "rows": 1, "channels": 1, "cells": [[{}]]}],)"
                                  R"("order": [0], "instruments": [], "mixer": [], "masterVolume": 1})"},
        {"random bytes", randomBytes(1 << 20, 1)},
        {"random bytes after a good start", "{\"name\": \"" + randomBytes(1 << 16, 2)},
        {"a lone continuation byte", "\x80"},
    };
    for (const auto& input : inputs) {
        SCOPED_TRACE(input.what);
        const auto message = errorOf(input.bytes);
        ASSERT_FALSE(message.empty()) << "the input was read";
        EXPECT_LT(message.size(), 1024u) << message.substr(0, 2000);
        EXPECT_TRUE(isValidUtf8(message)) << message.substr(0, 2000);
    }
}

TEST(ProjectFileBrokenText, ASyntaxErrorNamesItsLineAndColumnAndQuotesTheTextAroundIt)
{
    struct Case { std::string bytes; std::string expected; };
    const Case cases[] = {
        {"{\n  \"bpm\": 12x4\n}", "(line 2, column 12, near \u201C  \"bpm\": 12x4\u201D)"},
        // White space runs do not shift the place.
        {"{\n\n\n" + std::string(100, ' ') + "\"name\": tru}", "line 4, column 112, near \u201C\u2026             \"name\": tru}\u201D"},
        // Columns count characters, and bytes that are no UTF-8 are shown as U+FFFD.
        {"{\"n\u00E4me\": \"\u00E9\xFF\"}", "line 1, column 12, near \u201C{\"n\u00E4me\": \"\u00E9\uFFFD\"}\u201D"},
        {"{\"name\": ", "line 1, column 10, near \u201C{\"name\": \u201D"},
        {"[" + std::string(5000, '5') + "]", "a number is longer than 4096 characters (line 1, column 2, near \u201C[5555"},
    };
    for (const auto& c : cases) {
        const auto message = errorOf(c.bytes);
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_NE(message.find("not valid JSON"), std::string::npos) << message;
    }
}

TEST(ProjectFileBrokenText, NumbersUpToTheLengthLimitAndAnyWhiteSpaceStillRead)
{
    // The smallest positive Double written out digit for digit, and runs of every kind of white space.
    const std::string smallest = "0." + std::string(323, '0') + "4940656458412465441765687928682213723651";
    const auto read = readAsWritten(std::string(3000, '\n') + R"({"version":1,"name":"x","bpm":)" + smallest +
                                    std::string(1000, '\t') + R"(,"rowsPerBeat" :)" + std::string(500, '\r') +
                                    R"(4,"patterns":[],"order":[],"instruments":[],"mixer":[],"masterVolume": 1.)" +
                                    std::string(fileformat::maxProjectNumberLength - 3, '0') + "}  \r\n ");
    EXPECT_EQ(read.bpm, 4.9406564584124654e-324);
    EXPECT_EQ(read.rowsPerBeat, 4);
    EXPECT_EQ(read.masterVolume, 1.0);
    // White space inside a string is the string's own.
    EXPECT_EQ(readAsWritten(R"({"version":1,"name":"  a   b  ","bpm":1,"rowsPerBeat":4,"patterns":[],"order":[],)"
                            R"("instruments":[],"mixer":[],"masterVolume":1})")
                  .name,
              "  a   b  ");
}

TEST(ProjectFileBrokenText, ExcerptsAreCutAtWholeCharacters)
{
    using fileformat::textExcerpt;
    EXPECT_EQ(textExcerpt("short"), "short");
    EXPECT_EQ(textExcerpt("\u00E9\u00E9\u00E9\u00E9", 3), "\u00E9\u00E9\u00E9\u2026");
    EXPECT_EQ(textExcerpt("a\nb\x01" "c\xC3", 10), "a b c\uFFFD");
}
