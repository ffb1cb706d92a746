// Ownership of the things the system hands out and wants back: interface references, BSTRs and VARIANTs,
// registry keys, metafile handles. One thing owned, given back once, by its own call, when the owner goes.
#pragma once

// Release gives back the value it is handed and does nothing for the empty value (the value-initialised
// one: a null pointer or handle, a VT_EMPTY VARIANT). out() hands the slot to a function that fills it.
template <class T, void (*Release)(T&)>
class Owned {
public:
    Owned() : value() {}
    explicit Owned(T inValue) : value(inValue) {}
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    ~Owned() { Release(value); }

    T* out() { return &value; }
    T& get() { return value; }
    const T& get() const { return value; }

private:
    T value;
};
