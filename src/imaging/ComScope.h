#pragma once

// Makes COM usable on the calling thread for the lifetime of the scope. A thread that has no
// apartment yet joins the multithreaded one and leaves it again when the scope ends; a thread
// that is already in an apartment (of either kind) keeps it untouched. COM objects made inside
// the scope must be released before it ends: declare the scope first.
class ComScope {
public:
    // Raises SystemError when COM cannot be initialised at all.
    ComScope();
    ~ComScope();
    ComScope(ComScope const&) = delete;
    ComScope& operator=(ComScope const&) = delete;

private:
    bool mBalance;
};
