// The window-layout dump text.
#include <gtest/gtest.h>

#include "app/layout_json.h"

namespace vesk {
namespace {

TEST(LayoutJson, WritesMembersItemsAndCombosInTheFixedShape) {
  LayoutItem a{"status", "STATIC", "就绪\t1", 0, 1, 2.5, 300, 20, false, -1, {}};
  LayoutItem b{"id:1001", "COMBOBOX", "", 1001, 10, 20, 30, 40, true, 1, {"A", "B\"C"}};
  const std::string json = BuildLayoutJson("VeskRecorder 0.9.124", 144, 800, 600, {a, b});
  EXPECT_EQ(json,
            "\xEF\xBB\xBF{\n"
            "  \"app\": \"VeskRecorder 0.9.124\",\n"
            "  \"dpi\": 144,\n"
            "  \"client\": {\"w\": 800, \"h\": 600},\n"
            "  \"items\": [\n"
            "    {\"key\": \"status\", \"cls\": \"STATIC\", \"id\": 0, \"text\": \"就绪\\u00091\", "
            "\"x\": 1.00, \"y\": 2.50, \"w\": 300.00, \"h\": 20.00},\n"
            "    {\"key\": \"id:1001\", \"cls\": \"COMBOBOX\", \"id\": 1001, \"text\": \"\", "
            "\"x\": 10.00, \"y\": 20.00, \"w\": 30.00, \"h\": 40.00, \"sel\": 1, \"opts\": [\"A\", \"B\\\"C\"]}\n"
            "  ]\n"
            "}\n");
}

TEST(LayoutJson, ConvertsPixelsTo96DpiUnits) {
  EXPECT_DOUBLE_EQ(To96Dpi(150, 144), 100.0);
  EXPECT_DOUBLE_EQ(To96Dpi(100, 120), 80.0);
  EXPECT_DOUBLE_EQ(To96Dpi(10, 0), 10.0);  // an unknown DPI counts as 96
  EXPECT_DOUBLE_EQ(To96Dpi(1, 97), 0.99);
}

}  // namespace
}  // namespace vesk
