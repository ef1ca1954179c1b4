#pragma once

// The controller's fixed times, in seconds. Tests shorten them.
struct AppTiming {
    double doubleTapWindow = 0.45;
    double recordingLimit = 600;
    double collectDelay = 0.3;
    double axPollInterval = 2.0;
    double periodicCheckInterval = 1800;
};
