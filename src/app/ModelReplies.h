#pragma once

#include "ai/ModelQueue.h"

namespace zelmo::app {

class Robot;

// What the model's result for a message becomes, on the model queue's worker. An answer
// goes out as every reply does: the reply limit, a log row marked as the model's, the paced
// sender with the reply's age counted from the message, the model named for the observers;
// it joins the chat's context at once. A failure or the daily limit gets a log row with the
// reason and the knowledge base's default reply instead. A box that names a wrong setting
// is shown on a thread of its own, so the worker never waits for the user.
void SettleModelResult(Robot& robot, const ai::ModelResult& result);

// After the settings are read (the start-up, a reload): with [AI回复] on, one event-log
// line (the key masked) and, when the settings cannot be used, the "错误提示" box that
// says why. Blocks while the box is open.
void TellModelSettings(Robot& robot);

}  // namespace zelmo::app
