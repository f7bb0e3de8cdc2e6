#include "recovery/RecoveryFiles.h"

#include "recovery/Par2Creator.h"

bool RecoveryFiles::Create(const Par2Creator& creator, const wchar_t* basePath) {
    Drop();
    const int32_t count = creator.OutputCount();
    if (!outputs.Reserve(count))
        return false;
    for (int32_t i = 0; i < count; ++i) {
        Output output;
        if (!creator.OutputName(basePath, i, output.path)) {
            Drop();
            return false;
        }
        output.file.Reset(::CreateFileW(output.path.Text(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output.file.IsSet()) {
            const DWORD error = ::GetLastError();
            failedPath.Assign(output.path.Text(), output.path.Length());
            Drop();
            ::SetLastError(error);
            return false;
        }
        outputs.Append(std::move(output));
    }
    return true;
}

bool RecoveryFiles::CompleteStep(Par2Creator& creator, bool& done) {
    done = complete;
    if (complete)
        return true;
    if (writing >= outputs.Count()) {
        ::SetLastError(ERROR_INVALID_FUNCTION);
        return false;
    }
    Output& output = outputs[writing];
    bool whole = false;
    if (!creator.WriteOutputPiece(writing, output.file.Get(), whole) ||
        (whole && !output.file.Close())) {
        failedPath.Assign(output.path.Text(), output.path.Length());
        return false;
    }
    if (whole && ++writing == outputs.Count())
        complete = done = true;
    return true;
}

bool RecoveryFiles::Complete(Par2Creator& creator) {
    for (bool done = false; !done;) {
        if (!CompleteStep(creator, done))
            return false;
    }
    return true;
}

void RecoveryFiles::Drop() {
    for (Output& output : outputs) {
        output.file.Close();
        if (!complete)
            ::DeleteFileW(output.path.Text());
    }
    outputs.Clear();
    writing = 0;
    complete = false;
}
