// Tests of the mus reader come with the reader.
