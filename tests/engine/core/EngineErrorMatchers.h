// Checks that a statement raises EABSException with a given native code and message.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/access/ABSExcept.h"

#define EXPECT_ENGINE_ERROR(statement, code, message)                         \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no error from " #statement;                           \
    } catch (const ::tabshift::EABSException& error) {                        \
      EXPECT_EQ(error.NativeError(), code) << error.Message();                \
      EXPECT_EQ(error.Message(), std::string(message)) << "from " #statement; \
    }                                                                         \
  } while (false)

#define EXPECT_ENGINE_CODE(statement, code)                    \
  do {                                                         \
    try {                                                      \
      statement;                                               \
      ADD_FAILURE() << "no error from " #statement;            \
    } catch (const ::tabshift::EABSException& error) {         \
      EXPECT_EQ(error.NativeError(), code) << error.Message(); \
    }                                                          \
  } while (false)
