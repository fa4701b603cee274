#pragma once

#include <QObject>

// The getter, the setter, the change signal and the storage of one published reading. The
// setter stores and then announces the change on every assignment, also when the value is
// unchanged, so every sample reaches the views.
#define ORB_PUBLISHED_ACCESSORS(Type, name, setter)                                                \
public:                                                                                            \
    const Type& name() const {                                                                     \
        return name##_;                                                                            \
    }                                                                                              \
    void setter(const Type& value) {                                                               \
        name##_ = value;                                                                           \
        Q_EMIT name##Changed();                                                                    \
    }                                                                                              \
    Q_SIGNAL void name##Changed();                                                                 \
                                                                                                   \
private:                                                                                           \
    Type name##_{};

// Declares one published reading of an observable object as a Qt property of that type. Type
// names with commas need an alias first.
#define ORB_PUBLISHED(Type, name, setter)                                                          \
    Q_PROPERTY(Type name READ name NOTIFY name##Changed)                                           \
    ORB_PUBLISHED_ACCESSORS(Type, name, setter)

// The same for a reading that the views may also assign.
#define ORB_PUBLISHED_WRITABLE(Type, name, setter)                                                 \
    Q_PROPERTY(Type name READ name WRITE setter NOTIFY name##Changed)                              \
    ORB_PUBLISHED_ACCESSORS(Type, name, setter)
