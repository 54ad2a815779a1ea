// The simulator's end of the line: a pseudo-terminal and a symlink to its slave side.
#pragma once

#include <QByteArray>
#include <QString>

namespace tessaro {

class MeterPort {
  public:
    MeterPort() = default;
    ~MeterPort();
    MeterPort(const MeterPort&) = delete;
    MeterPort& operator=(const MeterPort&) = delete;

    // Opens a new pseudo-terminal: non-blocking master, raw slave kept open by us so that
    // the program may close and reopen its side without the master reading a hang-up.
    bool open(QString& error);
    // Closes both sides: whoever has the slave open sees the device go away.
    void close();
    bool isOpen() const { return master_ >= 0; }
    int masterFd() const { return master_; }
    QString slavePath() const { return slave_path_; }

    // Reads what the program wrote; sets hungUp when the master reports the line gone.
    QByteArray read(bool& hungUp);
    // Writes bytes towards the program; returns how many left (a full tty queue drops the rest).
    qsizetype write(const QByteArray& bytes);

    // Points link at the slave side, replacing an older symlink there in one step
    // and creating missing folders. Refuses to replace anything but a symlink.
    bool pointLink(const QString& link, QString& error);
    // Leaves the link dangling at a path that never comes back: the system hands a freed
    // pseudo-terminal's number to the next one opened (another program's), as a real unplugged
    // adapter's by-id name never is. Called once the line is closed.
    void dangleLink();
    // Removes the link if it still points where this port last pointed it.
    void removeLink();

  private:
    int master_ = -1;
    int slave_ = -1;
    QString slave_path_;
    QString link_;
    QString link_target_;
};

} // namespace tessaro
