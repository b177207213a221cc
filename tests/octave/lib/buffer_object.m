classdef buffer_object
% An object that shares a buffer of doubles: its property "c" holds the
% buffer's address in its first 8 bytes.
  properties
    c
  end
  methods
    function b = buffer_object(address)
      b.c = address;
    end
  end
end
