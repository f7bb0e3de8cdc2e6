#include "ops/RecoveryFiles.h"

#include "ops/Par2Creator.h"

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

bool RecoveryFiles::Complete(Par2Creator& creator) {
    for (int32_t i = 0; i < outputs.Count(); ++i) {
        Output& output = outputs[i];
        if (!creator.WriteOutput(i, output.file.Get()) || !output.file.Close()) {
            failedPath.Assign(output.path.Text(), output.path.Length());
            return false;
        }
    }
    complete = true;
    return true;
}

void RecoveryFiles::Drop() {
    for (Output& output : outputs) {
        output.file.Close();
        if (!complete)
            ::DeleteFileW(output.path.Text());
    }
    outputs.Clear();
    complete = false;
}
