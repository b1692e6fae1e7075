// SkypeApplication::Write from alice on machine 1 to bob on machine 2 through two linked
// simulators, against the same writes from carol to dave inside machine 1's simulator, in the
// same run, for 1 KB and 1 MB texts. bench/link/run starts the machines, the simulators and a
// reader for bob and for dave (this program with --reader); this program then writes.
//
//   bench_link --reader DISCOVER ATTACH        counts what arrives; answers "end" with "done N"
//   bench_link DISCOVER ATTACH CONTACT DISCOVER ATTACH CONTACT
//                                              the linked writer and contact, then the local ones
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include "BenchReport.h"
#include "foundation/SyncEvent.h"
#include "skype/SkypeApplication.h"
#include "skype/SkypeClient.h"

namespace {

constexpr DWORD kWaitMs = 60000;
constexpr char kApplication[] = "linkbench";
constexpr char kEnd[] = "end";

// A client attached to one account with the benchmark's application registered.
class BenchAccount {
public:
    BenchAccount(std::string const& discover, std::string const& attach)
        : mClient(nullptr, RegisterWindowMessageA(discover.c_str()), RegisterWindowMessageA(attach.c_str())) {
        mClient.OnAttach.Add(MakeDelegate<&BenchAccount::OnAttach>(this));
    }
    ~BenchAccount() {
        mApplication.reset();
        mClient.OnAttach.Remove(MakeDelegate<&BenchAccount::OnAttach>(this));
    }

    bool Attach() {
        mClient.Attach();
        if (mAttached.Wait(kWaitMs) != WAIT_OBJECT_0) {
            return false;
        }
        mApplication = std::make_unique<SkypeApplication>(&mClient, kApplication);
        return true;
    }
    SkypeApplication& Application() { return *mApplication; }

private:
    void OnAttach(ISkypeClient& client) {
        if (client.GetAttachStatus() == ISkypeClient::AttachSuccess) {
            mAttached.Set();
        }
    }

    SkypeClient mClient;
    SyncEvent mAttached;
    std::unique_ptr<SkypeApplication> mApplication;
};

// The reading side: counts texts and answers the end marker with their number.
class Reader {
public:
    explicit Reader(SkypeApplication& application) : mApplication(application) {
        mApplication.OnDataReceived.Add(MakeDelegate<&Reader::OnData>(this));
    }
    ~Reader() { mApplication.OnDataReceived.Remove(MakeDelegate<&Reader::OnData>(this)); }

private:
    void OnData(std::string const& user, char const* text) {
        if (std::strcmp(text, kEnd) != 0) {
            ++mCount;
            return;
        }
        mApplication.Write(user, "done " + std::to_string(mCount));
        mCount = 0;
    }

    SkypeApplication& mApplication;
    int mCount = 0;  // "SkypeEvent" only
};

// The writing side toward one contact: writes, then waits for the reader's count.
class Writer {
public:
    Writer(SkypeApplication& application, std::string const& contact)
        : mApplication(application), mContact(contact) {
        mApplication.OnDataReceived.Add(MakeDelegate<&Writer::OnData>(this));
    }
    ~Writer() { mApplication.OnDataReceived.Remove(MakeDelegate<&Writer::OnData>(this)); }

    bool Connect() {
        mApplication.Connect(mContact);
        for (DWORD start = GetTickCount(); GetTickCount() - start < kWaitMs; Sleep(10)) {
            if (mApplication.IsConnected(mContact)) {
                return true;
            }
        }
        return false;
    }

    // Writes `count` copies of `text`; true when the reader counted them all.
    bool WriteAll(std::string const& text, int count) {
        for (int i = 0; i < count; ++i) {
            mApplication.Write(mContact, text);
        }
        mApplication.Write(mContact, kEnd);
        return mDone.Wait(kWaitMs) == WAIT_OBJECT_0 && mAnswer == "done " + std::to_string(count);
    }

private:
    void OnData(std::string const&, char const* text) {
        mAnswer = text;
        mDone.Set();
    }

    SkypeApplication& mApplication;
    std::string mContact;
    std::string mAnswer;  // written on "SkypeEvent" before mDone is set
    SyncEvent mDone;
};

int RunReader(std::string const& discover, std::string const& attach) {
    BenchAccount account(discover, attach);
    if (!account.Attach()) {
        std::fprintf(stderr, "the reader did not attach\n");
        return 1;
    }
    Reader reader(account.Application());
    std::printf("ready\n");
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);) {
    }
    return 0;
}

int RunWriters(char** names) {
    BenchAccount linkedAccount(names[0], names[1]);
    BenchAccount localAccount(names[3], names[4]);
    if (!linkedAccount.Attach() || !localAccount.Attach()) {
        std::fprintf(stderr, "the writers did not attach\n");
        return 1;
    }
    Writer linked(linkedAccount.Application(), names[2]);
    Writer local(localAccount.Application(), names[5]);
    if (!linked.Connect() || !local.Connect()) {
        std::fprintf(stderr, "the streams did not open\n");
        return 1;
    }
    struct Size {
        char const* name;
        std::size_t bytes;
        int count;
    } const sizes[] = {{"1KB", 1024, 2000}, {"1MB", 1 << 20, 24}};
    for (Size const& size : sizes) {
        std::string const text(size.bytes, 'w');
        bool ok = true;
        BenchTimes times = CompareBest(
            5, [&] { ok = linked.WriteAll(text, size.count) && ok; },
            [&] { ok = local.WriteAll(text, size.count) && ok; });
        if (!ok) {
            std::fprintf(stderr, "texts went missing\n");
            return 1;
        }
        PrintMeasurement(std::string("LinkedApplicationWrite/") + size.name,
                         static_cast<double>(size.bytes) * size.count, times.subject,
                         "the same writes inside one simulator", times.baseline);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--reader") {
        return RunReader(argv[2], argv[3]);
    }
    if (argc == 7) {
        return RunWriters(argv + 1);
    }
    std::fprintf(stderr,
                 "usage: bench_link --reader DISCOVER ATTACH | bench_link (DISCOVER ATTACH CONTACT){2}\n");
    return 2;
}
