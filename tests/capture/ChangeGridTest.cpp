#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <utility>

#include "CapturePackets.h"
#include "capture/ChangeGrid.h"

namespace {

// Every dirty cell counts as changed and is recorded, so the grid's own choices show.
class RecordingComparer : public ICellComparer {
public:
    bool HasCellChanged(int column, int row, RECT const&) override {
        looked.insert({column, row});
        return true;
    }
    std::set<std::pair<int, int>> looked;
};

std::set<std::pair<int, int>> DirtyCells(ChangeGrid& grid) {
    std::set<std::pair<int, int>> cells;
    for (int y = 0; y < grid.GetRows(); ++y) {
        for (int x = 0; x < grid.GetColumns(); ++x) {
            if (grid.IsDirty(x, y)) {
                cells.insert({x, y});
            }
        }
    }
    return cells;
}

// A tracked area of a whole number of cells (a 1025-pixel frame): edges that reach its end
// convert to one past the last cell, which must never be written.
TEST(ChangeGridTest, MarkingStaysInsideTheGrid) {
    // The marked rectangle, how many cells it marks and the highest of them.
    std::tuple<RECT, int, std::pair<int, int>> const cases[] = {
        {{0, 0, 1024, 1024}, 32 * 32, {31, 31}}, {{1000, 1000, 5000, 5000}, 1, {31, 31}},
        {{31, 31, 33, 33}, 4, {1, 1}},           {{33, 33, 31, 31}, 4, {1, 1}},
        {{1024, 0, 1100, 10}, 0, {0, 0}},        {{2000, 2000, 2100, 2100}, 0, {0, 0}},
        {{-100, -100, -40, -40}, 0, {0, 0}},
    };
    for (auto const& [mark, count, last] : cases) {
        SCOPED_TRACE(Describe(mark));
        RecordingComparer comparer;
        ChangeGrid grid(comparer);
        grid.SetArea(RECT{0, 0, 1024, 1024});
        grid.Clear();
        grid.Mark(mark);
        std::set<std::pair<int, int>> dirty = DirtyCells(grid);
        ASSERT_EQ(int(dirty.size()), count);
        EXPECT_EQ(count ? *dirty.rbegin() : last, last);
    }
}

// Lacking cells come back once due, as runs along a row, at most so many cells at a time, each
// once; nothing is found below the last row, however late and however many cells are allowed.
TEST(ChangeGridTest, LackingCellsComeBackInRowRuns) {
    RecordingComparer comparer;
    ChangeGrid grid(comparer);
    grid.SetArea(RECT{0, 0, 100, 40});  // 4 x 2 cells, the last ones partial
    grid.MarkLacking(RECT{0, 0, 100, 40}, 0);
    EXPECT_EQ(Describe(grid.TakeLacking(19, 20, 100)), "");
    EXPECT_EQ(Describe(grid.TakeLacking(20, 20, 5)), "(0,0)-(100,32) (0,32)-(32,40)");
    EXPECT_EQ(Describe(grid.TakeLacking(20, 0, 100)), "(32,32)-(100,40)");
    EXPECT_EQ(Describe(grid.TakeLacking(0xFFFFFFFF, 0, 1 << 20)), "");
}

}  // namespace
