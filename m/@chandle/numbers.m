function n = numbers(h)
% NUMBERS  The handle numbers of the handle vector h, as a row.
  s = struct(h);
  n = [s.num];
end
