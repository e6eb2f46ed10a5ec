#pragma once

#include <QString>

// A small tmpfs mounted over a folder for the length of a test, to make a destination
// fill up or turn read-only. Tests run as root, where permission bits stop no write;
// a mount does. Needs mount rights: ok() is false without them (the test skips).
namespace pelk::test {

class ScratchMount {
public:
    ScratchMount(const QString& folder, const QString& size);
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool ok() const { return mounted_; }
    bool makeReadOnly();

private:
    QString folder_;
    bool mounted_ = false;
};

}  // namespace pelk::test
