-- Version 0: a database file with nothing in it (the robot's first start, or an empty
-- file left by an interrupted create).
PRAGMA user_version = 0;
