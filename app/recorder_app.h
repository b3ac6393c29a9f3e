#pragma once

// The application: names the settings store, runs the recorder window modally and ends with it.
class CRecorderApp {
public:
    // Runs the program; the process's exit status.
    int Run();

private:
    // Start-up; false: there is no message loop of the application's own to run.
    bool InitInstance();
};
