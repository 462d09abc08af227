#pragma once
// The name of a table-driven test case: its description, with every character
// that is not a letter or a digit turned into '_'.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

template <typename T>
std::string ParamName(const testing::TestParamInfo<T>& info) {
  std::string n = info.param.what;
  for (char& c : n)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return n;
}
