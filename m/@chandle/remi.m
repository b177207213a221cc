function n = remi(h, i)
% REMI  The handle number of element i (1-based) of the handle vector h.
  s = struct(h);
  n = s(i).num;
end
