#pragma once

namespace zelmo::app {

class Robot;

// The last step of every end of a run, after Shutdown, so that no worker learns any more:
// an unsaved knowledge base is saved to reply.ini (beside it when that file could not be
// read at the start), unless the user's quit already decided about it. No question is
// asked; the front end's log says where the base went, or why it could not be written.
// Main thread.
void SaveAtEnd(Robot& robot);

}  // namespace zelmo::app
