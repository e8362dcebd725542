/* convert_c [-1] INPUT OUTPUT: INPUT converted through the C interface, the
 * output written whatever the input was, as the seqconv program does. */
#include <seqconv/seqconv_c.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv) {
    int promote = argc == 4 && strcmp(argv[1], "-1") == 0;
    if (argc != 3 + promote) return 2;

    FILE* in = fopen(argv[1 + promote], "rb");
    if (in == NULL || fseek(in, 0, SEEK_END) != 0) return 1;
    long size = ftell(in);
    rewind(in);
    unsigned char* input = malloc(size > 0 ? (size_t)size : 1);
    if (input == NULL || fread(input, 1, (size_t)size, in) != (size_t)size) return 1;
    fclose(in);

    seqconv_buffer output;
    char message[200];
    int status = seqconv_convert(input, (size_t)size, argv[1 + promote], promote, &output, message, sizeof message);
    free(input);
    if (status == SEQCONV_ERROR || status == SEQCONV_INVALID_ARGUMENT) {
        fprintf(stderr, "%s\n", message);
        return 1;
    }
    FILE* out = fopen(argv[2 + promote], "wb");
    if (out == NULL || (output.size > 0 && fwrite(output.data, 1, output.size, out) != output.size)) return 1;
    fclose(out);
    seqconv_free(&output);
    return 0;
}
