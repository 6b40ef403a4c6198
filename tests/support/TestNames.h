#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <string>

// Names the cases of a table-driven test after their "name" texts, so that a
// failure says which row broke: every character that is not a letter or a
// digit becomes "_".
namespace TestNames {

template <typename Case> std::string fromCaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return name;
}

} // namespace TestNames
