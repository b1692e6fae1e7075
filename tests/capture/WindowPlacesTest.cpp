#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "CapturePackets.h"
#include "capture/WindowPlaces.h"

namespace {

// A window stays listed, another closes at 1100 and a third moves at 1300: the places left are
// marked when left, then every 500 ms, and forgotten 5000 ms after the window was last there.
TEST(WindowPlaces, LeftPlacesAreRevisitedForAWhile) {
    RECT const stays = {0, 0, 100, 100};
    RECT const closes = {200, 0, 300, 50};
    RECT const before = {0, 300, 50, 350};
    RECT const after = {60, 300, 110, 350};
    std::tuple<DWORD, std::vector<RECT>, std::vector<RECT>> const steps[] = {
        // when, listed, marked
        {1000, {stays, closes, before}, {stays, closes, before}},
        {1100, {stays, before}, {stays, closes, before}},
        {1200, {stays, before}, {stays, before}},
        {1300, {stays, after}, {stays, before, after}},
        {1599, {stays, after}, {stays, after}},
        {1600, {stays, after}, {stays, closes, after}},
        {1800, {stays, after}, {stays, before, after}},
        {6000, {stays, after}, {stays, closes, before, after}},
        {6001, {stays, after}, {stays, after}},
        {6400, {stays}, {stays, after}},
        {6899, {stays}, {stays}},
        {6900, {stays}, {stays, after}},
        {11001, {stays}, {stays, after}},
        {11002, {stays}, {stays}},
    };
    WindowPlaces places;
    for (auto const& [at, listed, marked] : steps) {
        EXPECT_EQ(Describe(places.Update(listed, at)), Describe(marked)) << "at " << at;
    }
}

}  // namespace
