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

// A folder bound over itself read-only for the length of a test: it shows the files it
// held, and no write reaches them, root's neither. Needs mount rights as above.
class ReadOnlyBind {
public:
    explicit ReadOnlyBind(const QString& folder);
    ~ReadOnlyBind();
    ReadOnlyBind(const ReadOnlyBind&) = delete;
    ReadOnlyBind& operator=(const ReadOnlyBind&) = delete;

    bool ok() const { return readOnly_; }

private:
    QString folder_;
    bool mounted_ = false;
    bool readOnly_ = false;
};

}  // namespace pelk::test
