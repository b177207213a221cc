function p = nl_fnl(pos)
% 1-based position in FNL of the exported forces, 0 for none → iopt(1).
  p = pos - 1;
  if pos == 0, p = -1; end
end
