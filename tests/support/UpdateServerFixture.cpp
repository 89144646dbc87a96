#include "tests/support/UpdateServerFixture.h"

#include "tests/support/ZmodemTestFiles.h"

#include <stdexcept>

UpdateServerFixture::UpdateServerFixture (const std::vector<std::string>& faults)
{
    std::vector<std::string> command { pythonInterpreter(), sourceDirectory() + "/tools/update_server/update_server.py",
                                       "--root", content.path, "--port", "0", "--exit-with-parent" };
    for (const auto& fault : faults)
        command.insert (command.end(), { "--fault", fault });
    server = std::make_unique<HelperProcess> (command, 10000);
    const std::string& ready = server->firstLine();
    if (ready.rfind ("READY ", 0) != 0)
        throw std::runtime_error ("update server did not start: '" + ready + "'");
    base = ready.substr (6);
}

void UpdateServerFixture::addFile (const std::string& relativePath, const std::string& bytes) const
{
    const std::string path = content.path + "/" + relativePath;
    const std::string folder = path.substr (0, path.find_last_of ('/'));
    if (std::system (("mkdir -p '" + folder + "'").c_str()) != 0)
        throw std::runtime_error ("cannot create " + folder);
    writeWholeFile (path, bytes);
}

void UpdateServerFixture::generateContent (const std::string& arguments) const
{
    const std::string command = pythonInterpreter() + " '" + sourceDirectory() + "/tools/update_server/make_update_content.py' --out '"
                                + content.path + "' " + arguments + " > /dev/null";
    if (std::system (command.c_str()) != 0)
        throw std::runtime_error ("make_update_content.py failed: " + command);
}
