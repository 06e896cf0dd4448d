#include "motion_search.h"

#include <climits>
#include <cstdlib>

namespace vantry::codec::enc {
namespace {

struct Candidates {
    const MotionSearch& search;
    const uint8_t* input;
    int x0, y0;
    // Window of allowed displacements: +-kSearchRange, the block inside the picture.
    int minDx, maxDx, minDy, maxDy;
    Displacement best{0, 0, INT_MAX};

    Candidates(const MotionSearch& s, int x, int y)
        : search(s), input(s.input + y * s.inputStride + x), x0(x), y0(y) {
        minDx = x0 - kSearchRange < 0 ? -x0 : -kSearchRange;
        maxDx = x0 + kSearchRange > s.width - 16 ? s.width - 16 - x0 : kSearchRange;
        minDy = y0 - kSearchRange < 0 ? -y0 : -kSearchRange;
        maxDy = y0 + kSearchRange > s.height - 16 ? s.height - 16 - y0 : kSearchRange;
    }

    bool inside(int dx, int dy) const { return dx >= minDx && dx <= maxDx && dy >= minDy && dy <= maxDy; }

    // Evaluates (dx, dy); returns true when it became the best. Ties go to the displacement
    // nearer to (0, 0); equal distance keeps the earlier one.
    bool evaluate(int dx, int dy) {
        const uint8_t* ref = search.reference + (y0 + dy) * search.referenceStride + (x0 + dx);
        const int sad = search.kernels->sad16(input, search.inputStride, ref, search.referenceStride, best.sad);
        const bool better = sad < best.sad ||
                            (sad == best.sad && std::abs(dx) + std::abs(dy) < std::abs(best.dx) + std::abs(best.dy));
        if (better)
            best = {dx, dy, sad};
        return better;
    }
};

void diamond(Candidates& c) {
    constexpr int kSide = 2 * kSearchRange + 1;
    bool visited[kSide][kSide] = {};
    auto tryOffset = [&](int dx, int dy) {
        if (!c.inside(dx, dy) || visited[dy + kSearchRange][dx + kSearchRange])
            return false;
        visited[dy + kSearchRange][dx + kSearchRange] = true;
        return c.evaluate(dx, dy);
    };
    tryOffset(0, 0);

    static constexpr int kLarge[8][2] = {{0, -2}, {1, -1}, {2, 0}, {1, 1}, {0, 2}, {-1, 1}, {-2, 0}, {-1, -1}};
    for (;;) {
        const int centreX = c.best.dx;
        const int centreY = c.best.dy;
        bool moved = false;
        for (const auto& offset : kLarge)
            moved |= tryOffset(centreX + offset[0], centreY + offset[1]);
        if (!moved)
            break;
    }
    static constexpr int kSmall[4][2] = {{0, -1}, {1, 0}, {0, 1}, {-1, 0}};
    const int centreX = c.best.dx;
    const int centreY = c.best.dy;
    for (const auto& offset : kSmall)
        tryOffset(centreX + offset[0], centreY + offset[1]);
}

void full(Candidates& c) {
    for (int dy = c.minDy; dy <= c.maxDy; ++dy)
        for (int dx = c.minDx; dx <= c.maxDx; ++dx)
            c.evaluate(dx, dy);
}

}  // namespace

Displacement searchFullSample(const MotionSearch& search, SearchMode mode, int x0, int y0) {
    Candidates c(search, x0, y0);
    switch (mode) {
    case SearchMode::Diamond:
        diamond(c);
        break;
    case SearchMode::Full:
        full(c);
        break;
    case SearchMode::Zero:
        c.evaluate(0, 0);
        break;
    }
    return c.best;
}

HalfSampleVector refineHalfSample(const MotionSearch& search, int x0, int y0, const Displacement& best) {
    HalfSampleVector vector{2 * best.dx, 2 * best.dy};
    const int bx = x0 + best.dx;
    const int by = y0 + best.dy;
    // Half-sample positions read one sample beyond the block on each side they lean to.
    if (!(bx > 0 && bx < search.width - 16 && by > 0 && by < search.height - 16))
        return vector;
    static constexpr int kNeighbours[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    const uint8_t* input = search.input + y0 * search.inputStride + x0;
    const int centreX = vector.x;
    const int centreY = vector.y;
    int bestSad = best.sad;
    for (const auto& n : kNeighbours) {
        const int vx = centreX + n[0];
        const int vy = centreY + n[1];
        const uint8_t* ref = search.reference + (y0 + (vy >> 1)) * search.referenceStride + (x0 + (vx >> 1));
        const int sad = search.kernels->sad16Half(input, search.inputStride, ref, search.referenceStride, vx & 1,
                                                  vy & 1, bestSad);
        if (sad < bestSad) {
            bestSad = sad;
            vector = {vx, vy};
        }
    }
    return vector;
}

}  // namespace vantry::codec::enc
