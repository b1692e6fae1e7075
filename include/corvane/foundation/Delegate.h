#pragma once

#include <utility>

// A delegate's identity: two machine words. For a member function the object and a
// per-member invoker; for a free function the function itself and a fixed invoker.
// Two delegates are equal when both words are equal.
struct DelegateMemento {
    void* object = nullptr;
    void (*function)() = nullptr;

    bool operator==(DelegateMemento const& other) const {
        return object == other.object && function == other.function;
    }
    bool operator!=(DelegateMemento const& other) const { return !(*this == other); }
};

// A callable bound to a free function or to (object, member function). It owns nothing:
// the bound object must outlive every call.
template <class... Args>
class Delegate {
public:
    using FreeFunction = void (*)(Args...);

    Delegate() = default;

    // A null function makes an empty delegate, which does nothing when called.
    Delegate(FreeFunction function) {
        if (function) {
            mMemento.object = reinterpret_cast<void*>(function);
            mMemento.function = reinterpret_cast<void (*)()>(&InvokeFree);
        }
    }

    // Binds a member function given at compile time: Delegate<int>::Bind<&Foo::OnValue>(foo).
    template <auto Method, class C>
    static Delegate Bind(C* object) {
        Delegate delegate;
        delegate.mMemento.object = static_cast<void*>(object);
        delegate.mMemento.function = reinterpret_cast<void (*)()>(&InvokeMember<Method, C>);
        return delegate;
    }

    static Delegate FromMemento(DelegateMemento const& memento) {
        Delegate delegate;
        delegate.mMemento = memento;
        return delegate;
    }

    void operator()(Args... args) const {
        if (mMemento.function) {
            reinterpret_cast<Invoker>(mMemento.function)(mMemento.object, std::forward<Args>(args)...);
        }
    }

    DelegateMemento const& GetMemento() const { return mMemento; }
    bool IsEmpty() const { return mMemento.function == nullptr; }
    bool operator==(Delegate const& other) const { return mMemento == other.mMemento; }

private:
    using Invoker = void (*)(void*, Args...);

    static void InvokeFree(void* object, Args... args) {
        reinterpret_cast<FreeFunction>(object)(std::forward<Args>(args)...);
    }

    template <auto Method, class C>
    static void InvokeMember(void* object, Args... args) {
        (static_cast<C*>(object)->*Method)(std::forward<Args>(args)...);
    }

    DelegateMemento mMemento;
};

using Delegate0 = Delegate<>;
template <class T>
using Delegate1 = Delegate<T>;
template <class T1, class T2>
using Delegate2 = Delegate<T1, T2>;

namespace delegateimpl {
template <class Method>
struct MethodTraits;
template <class C, class... Args>
struct MethodTraits<void (C::*)(Args...)> {
    using Type = Delegate<Args...>;
};
template <class C, class... Args>
struct MethodTraits<void (C::*)(Args...) const> {
    using Type = Delegate<Args...>;
};
}  // namespace delegateimpl

// MakeDelegate<&Foo::OnValue>(this): a delegate whose argument types follow the member.
template <auto Method, class C>
typename delegateimpl::MethodTraits<decltype(Method)>::Type MakeDelegate(C* object) {
    return delegateimpl::MethodTraits<decltype(Method)>::Type::template Bind<Method>(object);
}
