// The catalogue the development host ships with, loaded for tests of the store and its views.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "host/store/store_catalogue.h"

namespace tev::devhost {

inline void loadShippedCatalogue(StoreCatalogue& catalogue) {
  std::ifstream file(TEV_CATALOGUE);
  std::ostringstream text;
  text << file.rdbuf();
  std::string error;
  ASSERT_TRUE(catalogue.load(nlohmann::json::parse(text.str()), error)) << error;
}

}  // namespace tev::devhost
