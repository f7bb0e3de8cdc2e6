#pragma once

// What every split and join runs on, for both programs: COM for the shell, the completion
// dispatcher bound to the calling thread, the I/O thread and the compute pool.
class EngineThreads {
public:
    EngineThreads() = default;
    EngineThreads(const EngineThreads&) = delete;
    EngineThreads& operator=(const EngineThreads&) = delete;

    // Completions are delivered to the calling thread from now on. False, with the last error
    // of the step that failed, when one could not start; Stop takes down what did.
    bool Start();
    // After the operation let go of its files: in the reverse order of the start.
    void Stop();
};
