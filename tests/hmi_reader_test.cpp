// Tests of the hmi reader come with the reader.
