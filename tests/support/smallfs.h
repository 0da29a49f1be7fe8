#ifndef SMALLFS_H
#define SMALLFS_H

#include <QString>

// A small filesystem of the test's own (tmpfs with a size limit), mounted on a
// folder: a full disk without filling the machine's. Needs root; isMounted()
// says whether it worked. Unmounted when destroyed.
class SmallFs
{
public:
    SmallFs(const QString &mountPoint, int kilobytes);
    ~SmallFs();
    bool isMounted() const { return m_mounted; }

private:
    QString m_mountPoint;
    bool m_mounted = false;
};

#endif // SMALLFS_H
