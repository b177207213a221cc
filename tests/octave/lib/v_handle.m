classdef v_handle < handle
% A stand-in for the toolbox's wrapper: its property "file" holds a matrix
% description.
  properties
    file
  end
  methods
    function h = v_handle(file)
      if nargin > 0, h.file = file; end
    end
  end
end
