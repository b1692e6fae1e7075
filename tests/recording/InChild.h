#pragma once

#include <gtest/gtest.h>

#include <string>

// Runs the test "InChild.DISABLED_<name>" of this program in a child process of its own, so that
// a crash or a hang fails that one case and not the whole program; the ordinary run skips the
// disabled test. Success when the child ran it and it passed; otherwise the child's exit code
// and output.
::testing::AssertionResult PassesInChild(std::string const& name, unsigned long timeoutMs = 120000);
