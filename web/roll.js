// The page's piano roll (being written).
'use strict';
