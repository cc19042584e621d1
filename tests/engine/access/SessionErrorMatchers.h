// Checks that a statement raises the framework's database error with a given message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "framework/Exception.h"

#define EXPECT_DATABASE_ERROR(statement, message)                             \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no error from " #statement;                           \
    } catch (const ::tabshift::EDatabaseError& error) {                       \
      EXPECT_STREQ(error.ClassName(), "EDatabaseError");                      \
      EXPECT_EQ(error.Message(), std::string(message)) << "from " #statement; \
    }                                                                         \
  } while (false)
