#include "tests/support/ZmodemTestFiles.h"

#include <fstream>
#include <sstream>

void writeWholeFile (const std::string& path, const std::string& bytes)
{
    std::ofstream out (path, std::ios::binary | std::ios::trunc);
    out.write (bytes.data(), (std::streamsize) bytes.size());
}

std::vector<std::string> engineLogLines (const std::string& log)
{
    std::vector<std::string> lines;
    std::istringstream text (log);
    for (std::string line; std::getline (text, line);)
    {
        const bool engineLine = line.rfind ("opening file", 0) == 0 || line.rfind ("seeking to", 0) == 0
                                || line.rfind ("closing ", 0) == 0 || line.rfind ("TimeOut Number", 0) == 0
                                || line.rfind ("errorSet", 0) == 0 || line.rfind ("ZMD", 0) == 0;
        if (engineLine)
            lines.push_back (line);
    }
    return lines;
}
