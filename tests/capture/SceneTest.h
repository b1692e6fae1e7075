#pragma once

#include <gtest/gtest.h>

#include "ScreenScene.h"

// Every test starts from an all-black screen under the suite's window (one for all: Wine takes
// two seconds to let a screen-sized window go without a window manager).
class SceneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { scene = new ScreenScene; }
    static void TearDownTestSuite() {
        delete scene;
        scene = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(scene->IsShown());
        ASSERT_TRUE(scene->Reset());
        size = scene->GetSize();
    }

    void Fill(RECT const& rect, COLORREF colour) { ASSERT_TRUE(scene->Fill(rect, colour)); }

    static inline ScreenScene* scene = nullptr;
    SIZE size = {0, 0};
};
