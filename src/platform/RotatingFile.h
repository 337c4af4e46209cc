#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace zelmo::platform {

// An append-only file that never grows much past a size: `path` is written, and when the
// next append would take it past `max_bytes` it becomes `path.1`, `path.1` becomes
// `path.2` and so on, keeping `files` files in all; the oldest is dropped. Any thread;
// each append lands whole. Nothing throws. The files are readable by their owner only.
class RotatingFile {
public:
    RotatingFile(std::string path, std::size_t max_bytes, int files);
    ~RotatingFile();
    RotatingFile(const RotatingFile&) = delete;
    RotatingFile& operator=(const RotatingFile&) = delete;

    // Appends the bytes (whole lines), making the folder when it is missing. An append
    // larger than max_bytes still goes into one fresh file. False when it was not written.
    bool Append(std::string_view bytes);

    const std::string& Path() const { return m_path; }

private:
    bool OpenCurrent();
    void Rotate();

    const std::string m_path;
    const std::size_t m_max_bytes;
    const int m_files;
    std::mutex m_mutex;
    int m_fd = -1;
    std::size_t m_size = 0;
};

}  // namespace zelmo::platform
