// Tests of the lds reader come with the reader.
