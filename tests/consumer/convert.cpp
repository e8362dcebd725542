// convert_cpp [-1] INPUT OUTPUT: INPUT converted through the C++ interface,
// the output written whatever the input was, as the seqconv program does.
#include <seqconv/seqconv.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const int promote = argc == 4 && std::string(argv[1]) == "-1";
    if (argc != 3 + promote) return 2;
    const std::string input_name = argv[1 + promote];
    std::ifstream in(input_name, std::ios::binary);
    const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    const seqconv::Conversion result = seqconv::convert(input, input_name, promote != 0);
    std::ofstream(argv[2 + promote], std::ios::binary)
        .write(reinterpret_cast<const char*>(result.smf.data()), std::streamsize(result.smf.size()));
    return 0;
}
