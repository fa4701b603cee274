#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QUuid>

namespace orb {

// One entry of a top-process list: a group of processes shown under one name.
struct AppProcess {
    Q_GADGET
    Q_PROPERTY(QUuid id MEMBER id)
    Q_PROPERTY(int pid MEMBER pid)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(int count MEMBER count)
    Q_PROPERTY(double cpu MEMBER cpu)
    Q_PROPERTY(double memory MEMBER memory)
    Q_PROPERTY(double energy MEMBER energy)
    Q_PROPERTY(double cumulativeEnergy MEMBER cumulativeEnergy)

public:
    QUuid id;
    int pid = 0;
    QString name;
    int count = 0;
    double cpu = 0;    // percent of one processor; groups can exceed 100
    double memory = 0; // megabytes
    double energy = 0;
    double cumulativeEnergy = 0;

    friend bool operator==(const AppProcess& a, const AppProcess& b) { return a.id == b.id; }
};

using AppProcessList = QList<AppProcess>;

} // namespace orb

Q_DECLARE_METATYPE(orb::AppProcess)
