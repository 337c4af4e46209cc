#pragma once

#include "jobs/Job.h"

namespace zelmo::app {

class Robot;

// Number of queue workers the start-up starts.
inline constexpr int QUEUE_WORKERS = 20;

// Runs one job by its kind (the dispatch table); other kinds are dropped. A job that
// talks to the service first waits until the robot is online; a send job hands its text
// to the sender and returns.
void RunJob(Robot& robot, const jobs::Job& job);

// Thread body of the queue workers: serves the robot's queue until HeartbeatStop.
void QueueWorker(Robot& robot);

// A job the full queue dropped: one message-log row says what was lost.
void LogDroppedJob(Robot& robot, const jobs::Job& job);

// Thread body of the sender: sends the robot's texts, paced, until the robot stops.
void SenderThread(Robot& robot);

}  // namespace zelmo::app
