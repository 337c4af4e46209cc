#pragma once

#include "jobs/Job.h"

namespace zelmo::app {

class Robot;

// Number of queue workers the start-up starts.
inline constexpr int QUEUE_WORKERS = 20;

// Runs one job by its kind (the dispatch table); other kinds are dropped.
void RunJob(Robot& robot, const jobs::Job& job);

// Thread body of the queue workers: serves the robot's queue until HeartbeatStop.
void QueueWorker(Robot& robot);

}  // namespace zelmo::app
