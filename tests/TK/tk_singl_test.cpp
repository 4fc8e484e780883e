#include "TK/tk_singl.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct base_with_vtable {
  virtual ~base_with_vtable() = default;
};

struct engine : base_with_vtable, tk_singleton<engine> {
  int value = 42;
};

TEST(TkSingleton, OneInstanceWithAssertedAccessors) {
  EXPECT_FALSE(engine::exists());
  EXPECT_EQ(engine::instance_ptr(), nullptr);
  try {
    engine::instance();
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("tk_singl", 59));
  }
  try {
    engine::get_instance();
    FAIL();
  } catch (const tk_mail_assertion& e) {
    EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("tk_singl", 66));
  }
  {
    auto first = std::make_unique<engine>();
    EXPECT_EQ(&engine::instance(), first.get());
    EXPECT_EQ(engine::get_instance().value, 42);
    try {
      engine second;
      FAIL();
    } catch (const tk_mail_assertion& e) {
      EXPECT_EQ(std::string(e.what()), "Internal error: \ncode=" + tk_location_code("tk_singl", 35));
    }
    EXPECT_EQ(&engine::instance(), first.get());
  }
  EXPECT_FALSE(engine::exists());
  engine again;
  EXPECT_EQ(&engine::instance(), &again);
}

}  // namespace
