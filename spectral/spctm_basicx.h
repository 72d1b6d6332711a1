// CSpctmBasicx: the two-dimensional buffer routines shared by every plane of
// the library (channel-pair planes, raw backups, summary arrays).
//
// A plane is a `double**` row table indexed [time][frequency]. Beneath that
// interface a plane is ONE block of the plane heap (platform/plane_arena.h):
// the row table first, then all rows back
// to back, each row pointer aiming into the block. The slot after the last
// row pointer holds the start of the rows; a plane made smaller in place
// (reshapePlane) keeps its rows where they were, after a table that now has
// more slots than rows. Compared with one block per
// row this cuts the allocations of a 306 x 306 dataset by the row count, keeps
// whole-dataset passes streaming through memory, makes release independent of
// the row count (a later change of the extents can never make a release walk
// the wrong number of rows) and lets bindings expose a plane as one strided
// array without copying. A row pointer may still be set to null (an absent row
// read from an archive); its cells stay allocated inside the block and unused.
#pragma once

#include <cstddef>
#include <cstdint>

namespace megcxc {

// Allocates a rows x cols plane in one block (zero-filled when `zero`), without
// any message. Returns null when rows < 1, cols < 1, the size cannot be
// represented, or the allocation fails.
double** allocPlane(int64_t rows, int64_t cols, bool zero);
// Allocates up to `count` (at most 8) rows x cols planes in one call to the
// plane heap, into out[0...]; returns how many were made (0 for an extent
// below 1 or a size that cannot be represented). Fewer than `count` only when
// memory is refused: the planes made are valid, out[result...] untouched.
int allocPlanes(int64_t rows, int64_t cols, bool zero, int count, double*** out);
// Releases a plane made by allocPlane (null is ignored).
void releasePlane(double** plane);
// Hands the empty chunks the plane heap keeps for reuse back to the system,
// as malloc_trim does for malloc; returns their bytes (0 in builds whose
// planes live on malloc). A deleted dataset's memory is returned without it
// but for a few chunks.
std::size_t trimPlaneMemory();
// First cell of the contiguous data of a plane allocated with `rows` rows
// (rows x cols doubles, row-major), whatever its row pointers currently say;
// null for a null plane. Inline: the per-pair paths call it for every plane.
inline double* planeData(double** plane, int64_t rows) { return plane && rows >= 1 ? plane[rows] : nullptr; }
// Gives a plane of `rows` rows holding `cellCapacity` cells (its current
// rows x cols) the extents newRows x newCols without allocating, for
// newRows <= rows and newRows x newCols <= cellCapacity: the new cells are the first newRows x newCols cells of its
// block (they keep their place), every row pointer is rewritten and present,
// and the block is shrunk to the cells it now holds. Returns the plane, which
// may have moved; an argument outside those bounds returns it unchanged.
double** reshapePlane(double** plane, int64_t rows, int64_t cellCapacity, int64_t newRows, int64_t newCols);
// Releases `count` plane blocks (null entries ignored) in one call to the
// plane heap.
void releasePlaneBlocks(void* const* blocks, std::size_t count);
// Blocks of one size taken from the plane heap up to kBatch (and about one
// 2 MiB chunk of the heap) at a time under one lock, handed out in address
// order; a request for another size hands the rest of the batch back first,
// and so does the destructor. Blocks of a size the heap maps one by one
// (above 256 KiB), and every block in builds whose planes live on malloc,
// are taken singly.
class PlaneBlockBatch {
 public:
  PlaneBlockBatch() = default;
  ~PlaneBlockBatch();
  PlaneBlockBatch(const PlaneBlockBatch&) = delete;
  PlaneBlockBatch& operator=(const PlaneBlockBatch&) = delete;
  // A block of `bytes`, or null when the heap refuses; `*zeroed` (when
  // given) tells whether it is known to hold only zero bytes.
  void* take(std::size_t bytes, bool* zeroed);

 private:
  void giveBack();
  static constexpr std::size_t kBatch = 128;
  std::size_t bytes_ = 0, next_ = 0, count_ = 0;
  void* blocks_[kBatch];
  bool zeroed_[kBatch];
};

// While one is alive on a thread, the planes allocPlane makes on that thread
// take their blocks from a PlaneBlockBatch: a load that makes hundreds of
// thousands of equal planes takes the plane heap's lock once per 128 planes
// instead of once per plane (about 5 % of a 306-sensor load). The failure
// hook still sees every plane. Scopes nest; the innermost one is used.
class PlaneBatchScope {
 public:
  PlaneBatchScope();
  ~PlaneBatchScope();
  PlaneBatchScope(const PlaneBatchScope&) = delete;
  PlaneBatchScope& operator=(const PlaneBatchScope&) = delete;

 private:
  friend double** allocPlane(int64_t rows, int64_t cols, bool zero);
  PlaneBlockBatch batch_;
  PlaneBatchScope* outer_;
};

// Shrinks many planes to newRows x newCols on one thread (as reshapePlane,
// or into a block of their new size when that frees at least half of the
// old one), taking the blocks the planes move to from the
// plane heap in batches and handing back the blocks they leave in batches:
// the heap's lock is taken twice per batch instead of twice per plane, so
// threads that each have their own shrinker hardly contend for it. The
// destructor hands back the blocks left and the unused ones of the last
// batch.
class PlaneShrinker {
 public:
  PlaneShrinker(int64_t newRows, int64_t newCols);
  ~PlaneShrinker();
  PlaneShrinker(const PlaneShrinker&) = delete;
  PlaneShrinker& operator=(const PlaneShrinker&) = delete;

  // `plane` (`rows` rows, room for `cellCapacity` cells) with the new
  // extents and the newRows x newCols `cells` (another block's, or null for
  // the plane's own first cells): moved to a block of its new size when that
  // frees at least half of its old one, else shrunk where it is. Returns the
  // plane; an argument outside reshapePlane's bounds returns it unchanged.
  double** shrink(double** plane, int64_t rows, int64_t cellCapacity, const double* cells);
  // Hands `block` (a plane's block; null is ignored) back with the next batch.
  void leave(void* block);

 private:
  static constexpr std::size_t kBatch = 128;
  int64_t newRows_, newCols_;
  std::size_t bytes_ = 0;  // a moved plane's block: table and cells
  PlaneBlockBatch spares_;
  void* leaving_[kBatch];
  std::size_t leavingCount_ = 0;
};
// Copies every cell of `src` into `dst` (same extents, both fully present rows
// where src has a row; absent source rows leave the destination row as is).
void copyPlaneCells(double** dst, double* const* src, int64_t rows, int64_t cols);
// Sets every cell of the block of a rows x cols plane to `value` and makes
// every row pointer present again. Nothing happens for a null plane or an
// extent below 1.
void fillPlane(double** plane, int64_t rows, int64_t cols, double value);
// Makes every row pointer of a rows x cols plane point at its row in the block
// again (absent rows become present with whatever their cells hold).
void restorePlaneRows(double** plane, int64_t rows, int64_t cols);
// Copies the whole block of `src` into the block of `dst` (both rows x cols)
// and gives `dst` the same absent rows as `src`. Nothing happens when either
// plane is null or an extent is below 1.
void copyPlaneBlock(double** dst, double** src, int64_t rows, int64_t cols);
// A new rows x cols plane equal to `src` (cells and absent rows), without any
// message; null when `src` is null, an extent is below 1 or the allocation fails.
double** clonePlane(double** src, int64_t rows, int64_t cols);
// v[i] = sqrt(v[i]) for i < n, two at a time with the packed SSE2 square root
// where the target has it. That instruction rounds exactly like std::sqrt
// (both are the correctly rounded IEEE square root); the library call differs
// only by setting errno for a negative argument, which whole-plane passes do
// not look at.
void sqrtInPlace(double* v, std::size_t n);

}  // namespace megcxc

class CSpctmBasicx {
 public:
  // A new plane of rows x cols, each row zero-filled when `zero`; null when an
  // extent is below 1 (no message) or the allocation fails (message box "Has
  // enough memory?").
  static double** newBufferF2d(int64_t rows, int64_t cols, bool zero);
  // Releases `buffer` and sets it to null: 1; 0 when it was already null.
  // rows and cols are not needed (the plane is one block) and are ignored.
  static int freeBufferF2d(int64_t rows, int64_t cols, double**& buffer);
};
