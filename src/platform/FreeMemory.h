#pragma once

namespace zelmo::platform {

// The allocator's hold on freed memory. A large answer is read once and freed; without
// these its pages, and those of the list snapshots made after it, stay resident for the
// rest of the run.

// From now on a large block (256 KB or more) gets pages of its own, returned to the system
// when it is freed, and free memory above 1 MB at the top of the heap goes back at once.
// glibc would otherwise raise both limits each time a large block is freed. Call once at
// start, before any thread.
void KeepLargeBlocksApart();

// One malloc arena for all threads: arenas of their own kept the freed pages of the
// start-up resident (4 MB with 10,000 contacts), and the robot's threads seldom allocate
// at once. Call once at start, before any thread.
void UseOneArena();

// Gives the pages the allocator holds free, in every thread's arena, back to the system.
// Any thread; takes a few milliseconds.
void ReturnFreeMemory();

}  // namespace zelmo::platform
